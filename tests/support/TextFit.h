#pragma once
// Finds the texts of a window that do not fit their boxes: labels (panel
// captions and status-bar panels are labels too), push buttons, check boxes,
// radio buttons and tool buttons, each measured with the font it draws in,
// and each box also inside its parent; the values shown (edits, lists, grid
// headings) likewise; and the controls that stick out of the control they
// sit in. Header-only: only the window tests, which link Qt, include it.
#include <algorithm>
#include <string>
#include <vector>

#include <QAbstractButton>
#include <QAbstractItemView>
#include <QAbstractScrollArea>
#include <QCheckBox>
#include <QComboBox>
#include <QHeaderView>
#include <QLineEdit>
#include <QStyleOptionComboBox>
#include <QFontMetrics>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QStyle>
#include <QStyleOptionButton>
#include <QToolButton>
#include <QWidget>

namespace testsupport {

inline std::string Describe(const QWidget* W, const QString& Text, const QString& Why) {
    return QString("%1 \"%2\" em \"%3\": %4")
        .arg(QString::fromLatin1(W->metaObject()->className()), Text, W->window()->windowTitle(), Why)
        .toStdString();
}

// The texts of Root (and the widgets in it) that are cut off.
inline std::vector<std::string> ClippedTexts(QWidget* Root) {
    std::vector<std::string> out;
    for (QWidget* w : Root->findChildren<QWidget*>()) {
        if (!w->isVisibleTo(Root)) continue;
        QFontMetrics fm(w->font());
        QString text;
        QSize need, box = w->size();
        if (auto* l = qobject_cast<QLabel*>(w)) {
            text = l->text();
            if (text.isEmpty()) continue;
            if (l->wordWrap()) {
                need = QSize(0, l->heightForWidth(l->width()));
            } else {
                need = l->sizeHint();  // the text with the frame, margins and indent around it
            }
        } else if (auto* b = qobject_cast<QPushButton*>(w)) {
            text = b->text();
            if (text.isEmpty()) continue;
            // The text (and glyph) with the margin and frame the style keeps
            // around a button's label.
            QStyleOptionButton opt;
            opt.initFrom(b);
            int frame = b->style()->pixelMetric(QStyle::PM_DefaultFrameWidth, &opt, b);
            int margin = b->style()->pixelMetric(QStyle::PM_ButtonMargin, &opt, b);
            int width = fm.size(Qt::TextShowMnemonic, text).width();
            if (!b->icon().isNull()) width += b->iconSize().width() + 4;
            need = QSize(width + margin + 2 * frame, fm.height() + 2 * frame);
        } else if (qobject_cast<QCheckBox*>(w) != nullptr || qobject_cast<QRadioButton*>(w) != nullptr) {
            auto* b = static_cast<QAbstractButton*>(w);
            text = b->text();
            if (text.isEmpty()) continue;
            QStyleOptionButton opt;
            opt.initFrom(b);
            opt.text = text;
            bool check = qobject_cast<QCheckBox*>(w) != nullptr;
            QRect content = b->style()->subElementRect(
                check ? QStyle::SE_CheckBoxContents : QStyle::SE_RadioButtonContents, &opt, b);
            QSize size = fm.size(Qt::TextShowMnemonic, text);
            need = QSize(content.x() + size.width(), size.height());
        } else if (auto* t = qobject_cast<QToolButton*>(w)) {
            text = t->text();
            if (text.isEmpty() || t->toolButtonStyle() == Qt::ToolButtonIconOnly) continue;
            need = fm.size(Qt::TextShowMnemonic, text);
        } else {
            continue;
        }
        if (need.width() > box.width() || need.height() > box.height())
            out.push_back(Describe(w, text,
                                   QString("precisa de %1x%2, tem %3x%4")
                                       .arg(need.width()).arg(need.height()).arg(box.width()).arg(box.height())));
        // A box that leaves its parent is cut by the parent's edge.
        if (QWidget* p = w->parentWidget(); p != nullptr && p != Root->parentWidget() &&
                                            !p->rect().contains(w->geometry()))
            out.push_back(Describe(w, text, "sai da área do controle em que está"));
    }
    return out;
}

// The controls of Root that stick out of the control they sit in, where its
// edge cuts them. What scrolls inside a scroll area and the editors of an
// item view move by design and are left out.
inline std::vector<std::string> OutsideTheirParents(QWidget* Root) {
    std::vector<std::string> out;
    for (QWidget* w : Root->findChildren<QWidget*>()) {
        if (w->isWindow() || !w->isVisibleTo(Root)) continue;
        QWidget* p = w->parentWidget();
        if (p == nullptr) continue;
        if (auto* area = qobject_cast<QAbstractScrollArea*>(p->parentWidget()); area != nullptr && area->viewport() == p)
            continue;
        bool inView = false;
        for (QWidget* a = p; a != nullptr && a != Root; a = a->parentWidget())
            if (qobject_cast<QAbstractItemView*>(a) != nullptr) inView = true;
        if (inView || p->rect().contains(w->geometry())) continue;
        QString text = w->objectName();
        if (auto* l = qobject_cast<QLabel*>(w)) text = l->text();
        if (auto* b = qobject_cast<QAbstractButton*>(w)) text = b->text();
        out.push_back(Describe(w, text,
                               QString("ocupa %1,%2 %3x%4 e sai de %5 (%6x%7)")
                                   .arg(w->x()).arg(w->y()).arg(w->width()).arg(w->height())
                                   .arg(QString::fromLatin1(p->metaObject()->className()))
                                   .arg(p->width()).arg(p->height())));
    }
    return out;
}

// The values of Root that are cut: an edit's text, a list's chosen item, a
// grid's column headings, each measured with the font it is drawn in.
inline std::vector<std::string> ClippedValues(QWidget* Root) {
    std::vector<std::string> out;
    auto report = [&](QWidget* w, const QString& text, int need, int room) {
        if (need > room)
            out.push_back(Describe(w, text, QString("precisa de %1 pontos de largura, tem %2").arg(need).arg(room)));
    };
    for (QWidget* w : Root->findChildren<QWidget*>()) {
        if (!w->isVisibleTo(Root)) continue;
        QFontMetrics fm(w->font());
        if (auto* e = qobject_cast<QLineEdit*>(w)) {
            if (e->text().isEmpty() || e->echoMode() != QLineEdit::Normal) continue;
            // The frame, Qt's own two points each side, the margins, and the
            // buttons laid over either end.
            int frame = e->hasFrame() ? e->style()->pixelMetric(QStyle::PM_DefaultFrameWidth, nullptr, e) : 0;
            int left = frame + 2 + e->textMargins().left(), right = e->width() - frame - 2 - e->textMargins().right();
            for (QWidget* side : e->findChildren<QWidget*>(QString(), Qt::FindDirectChildrenOnly)) {
                if (!side->isVisibleTo(e)) continue;
                if (side->geometry().center().x() > e->width() / 2) right = std::min(right, side->x());
                else left = std::max(left, side->geometry().right() + 1);
            }
            report(e, e->text(), fm.horizontalAdvance(e->text()), right - left);
        } else if (auto* c = qobject_cast<QComboBox*>(w); c != nullptr && !c->isEditable()) {
            if (c->currentText().isEmpty()) continue;
            QStyleOptionComboBox opt;
            opt.initFrom(c);
            opt.editable = false;
            opt.frame = c->hasFrame();
            QRect field = c->style()->subControlRect(QStyle::CC_ComboBox, &opt, QStyle::SC_ComboBoxEditField, c);
            report(c, c->currentText(), fm.horizontalAdvance(c->currentText()), field.width());
        } else if (auto* h = qobject_cast<QHeaderView*>(w); h != nullptr && h->orientation() == Qt::Horizontal) {
            if (h->model() == nullptr || !h->isVisibleTo(Root)) continue;
            const int margin = h->style()->pixelMetric(QStyle::PM_HeaderMargin, nullptr, h);
            for (int i = 0; i < h->count(); ++i) {
                if (h->isSectionHidden(i)) continue;
                QString title = h->model()->headerData(i, Qt::Horizontal, Qt::DisplayRole).toString();
                if (title.trimmed().isEmpty()) continue;
                report(h, title, QFontMetrics(h->font()).horizontalAdvance(title) + 2 * margin, h->sectionSize(i));
            }
        }
    }
    return out;
}

}  // namespace testsupport
