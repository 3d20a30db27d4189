#include "billing/forms/RecordRow.h"

#include <algorithm>

#include "billing/forms/FormUtils.h"
#include "platform/db/SQLRowSet.h"
#include "platform/rtl/SysUtils.h"

namespace billing::forms {

namespace {
// The width the captions of the row share when they fit it.
constexpr int kRecordButtonWidth = 72;
}  // namespace

RecordRow PlaceRecordRow(TCustomForm* Form, TDataSource* Source, int Top, const std::string& CancelName,
                         const std::string& SearchName, const std::string& CloseName) {
    RecordRow row;
    row.panel = Place<TPanel>(Form, Form, "pnlBotoes", 0, Top, 860, 48);
    row.panel->SetAlign(alBottom);
    row.panel->SetBevelOuter(bvNone);
    auto button = [&](const std::string& Name, const std::string& Caption, TAcao Acao) {
        auto* b = Place<TDBButton>(Form, row.panel, Name, 0, 8, kRecordButtonWidth, 32);
        b->SetAcao(Acao);
        b->SetCaption(Caption);
        b->SetEnabled(false);
        b->SetDataSource(Source);
        return b;
    };
    row.insert = button("btnInsert", "&Novo", Novo);
    row.edit = button("btnEdit", "&Editar", Editar);
    row.save = button("btnSave", "&Salvar", Gravar);
    row.cancel = button(CancelName, "&Desfazer", Cancelar);
    row.remove = button("btnDelete", "E&xcluir", Excluir);
    row.first = button("btnFirst", "Primeiro", Primeiro);
    row.prior = button("btnPrior", "Anterior", Anterior);
    row.next = button("btnNext", "Próximo", Proximo);
    row.last = button("btnLast", "Último", Ultimo);
    row.search = button(SearchName, "&Pesquisar", Pesquisar);
    row.close = button(CloseName, "Fec&har", Fechar);
    row.close->SetCancel(true);
    // The records are walked with Alt and the keys that walk a text; the
    // Alt letters of the menus (C, L, R, F, M, A), of the row (N, E, S, D,
    // X, P, H) and of the pages stay theirs.
    const struct {
        TDBButton* button;
        Word key;
        const char* hint;
    } walk[] = {{row.first, VK_HOME, "Primeiro registro (Alt+Home)"},
                {row.prior, VK_PRIOR, "Registro anterior (Alt+PgUp)"},
                {row.next, VK_NEXT, "Próximo registro (Alt+PgDn)"},
                {row.last, VK_END, "Último registro (Alt+End)"}};
    for (const auto& w : walk) {
        w.button->SetShortCut(w.key, TShiftState{ssAlt});
        w.button->SetHint(w.hint);
    }
    row.search->SetHint("Pesquisar (Alt+P)");
    row.close->SetHint("Fechar (Esc)");
    ArrangeRecordRow(row);
    return row;
}

void ArrangeRecordRow(const RecordRow& Row) {
    int x = 4;
    for (TDBButton* b : {Row.insert, Row.edit, Row.save, Row.cancel, Row.remove, Row.first, Row.prior, Row.next,
                         Row.last, Row.search, Row.close}) {
        if (b == nullptr || !b->Visible()) continue;
        int width = std::max(kRecordButtonWidth, b->FittingWidth());
        b->SetBounds(x, b->Top(), width, b->Height());
        x += width + 1;
    }
}

bool SettlePendingRow(TCustomForm* Form, TDataSet* DataSet) {
    if (DataSet->State() != dsEdit && DataSet->State() != dsInsert) return true;
    switch (AskYesNoCancel("Deseja salvar as alterações ?", "Salvar")) {
    case mrYes:
        try {
            DataSet->Post();
        } catch (const EAbort&) {
            return false;  // the checks refused: the row stays in edit
        }
        break;
    case mrNo:
        DataSet->Cancel();
        break;
    default:
        return false;  // Cancelar, Esc or the box closed: the form and its row stay as they were
    }
    // The form may stay open (another form refused the frame's close).
    ChangeColor(Form, false);
    return true;
}

const char* const kChangedByAnotherUser =
    "O registro foi alterado por outro usuário. Nada foi gravado: os dados foram lidos de novo; "
    "confira-os e repita a alteração.";

void GuardAgainstOtherUsers(TSQLQuery* Query,
                            std::function<std::string(const std::vector<std::string>& Columns)> Duplicate) {
    Query->SetWholeRowCheck(true);
    auto reload = [](TDataSet* DataSet) {
        Box(kChangedByAnotherUser, "Atenção");
        // The file's row replaces the one on screen; what was typed is gone
        // with the row it was typed over.
        DataSet->Cancel();
        DataSet->Refresh();
    };
    Query->OnPostError = [reload, Duplicate](TDataSet* DataSet, EDatabaseError& E, TDataAction& Action) {
        if (dynamic_cast<sqlite::ERowChanged*>(&E) != nullptr) {
            reload(DataSet);
            Action = daAbort;
            return;
        }
        if (auto* engine = dynamic_cast<ESQLiteError*>(&E)) {
            std::vector<std::string> columns = sqlite::UniqueViolationColumns(*engine);
            if (!columns.empty() && Duplicate) {
                Box(Duplicate(columns), "Atenção");
                Action = daAbort;
            }
        }
    };
    Query->OnDeleteError = [reload](TDataSet* DataSet, EDatabaseError& E, TDataAction& Action) {
        if (dynamic_cast<sqlite::ERowChanged*>(&E) == nullptr) return;
        reload(DataSet);
        Action = daAbort;
    };
}

}  // namespace billing::forms
