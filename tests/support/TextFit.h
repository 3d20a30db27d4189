#pragma once
// Finds the texts of a window that do not fit their boxes: labels (panel
// captions and status-bar panels are labels too), push buttons, check boxes,
// radio buttons and tool buttons, each measured with the font it draws in,
// and each box also inside its parent. Header-only: only the window tests,
// which link Qt, include it.
#include <string>
#include <vector>

#include <QAbstractButton>
#include <QCheckBox>
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

}  // namespace testsupport
