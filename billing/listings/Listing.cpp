#include "billing/listings/Listing.h"

#include <cmath>

#include "platform/db/SQLConnection.h"
#include "platform/db/SQLQuery.h"
#include "platform/rtl/Format.h"
#include "platform/rtl/Strings.h"

namespace billing::listings {

using billing::data::MessageIcon;

Criteria Criteria::Initial(TDateTime Today) {
    Criteria c;
    c.dataInicial = Today;
    c.dataFinal = Today;
    return c;
}

std::optional<std::string> CriteriaError(Listing Kind, const Criteria& C) {
    // A picker may carry a time of day; the period is whole days.
    if (std::trunc(C.dataFinal) < std::trunc(C.dataInicial)) return std::string(kDataInicialMaior);
    if (Kind == Listing::Nota403 && CompareStr(C.idClienteInicial, C.idClienteFinal) > 0)
        return std::string(kClienteInicialMaior);
    if (Kind != Listing::Nota409 && !C.autorizada && !C.cancelada && !C.denegada)
        return std::string(kNenhumaSituacao);
    return std::nullopt;
}

bool CheckCriteria(Listing Kind, const Criteria& C, billing::data::IMessages& Messages) {
    std::optional<std::string> error = CriteriaError(Kind, C);
    if (!error) return true;
    Messages.MessageBox(*error, kAtencao, MessageIcon::Exclamation);
    return false;
}

std::optional<std::string> Formata_Codigo(const std::string& Text) {
    std::string t = Trim(Text);
    if (t.empty()) t = "0";
    // A sign, a second number or an eighth digit would make a code the
    // seven-character criteria cannot hold, or one that sorts apart from
    // the registered codes.
    if (t.size() > 7) return std::nullopt;
    for (char c : t)
        if (c < '0' || c > '9') return std::nullopt;
    return IntToStrZero(std::stoll(t), 7);
}

std::string ClientCodeExit(const std::string& Typed, const std::string& Previous,
                           billing::data::IMessages& Messages) {
    if (std::optional<std::string> code = Formata_Codigo(Typed)) return *code;
    Messages.MessageBox(kCodigoClienteInvalido, kAtencao, MessageIcon::Exclamation);
    return Previous;
}

std::string ProgramCode(Listing Kind) {
    switch (Kind) {
        case Listing::Nota403: return "NOTA403";
        case Listing::Nota300: return "NOTA300";
        case Listing::Nota409: return "NOTA409";
    }
    return {};
}

HeaderTexts MakeHeader(TSQLConnection& Db, Listing Kind, const Criteria& C, const std::string& Usuario) {
    HeaderTexts h;
    h.programa = "Prg: " + ProgramCode(Kind);
    h.usuario = "Usuário: " + Usuario;
    const std::string periodo =
        FormatDateTime("dd/mm/yyyy", C.dataInicial) + " E " + FormatDateTime("dd/mm/yyyy", C.dataFinal);
    if (Kind == Listing::Nota409) {
        h.titulo = "Resumo venda por Grupo: " + periodo;
        h.classificacao = "Classificada por (Código Grupo)";
    } else {
        h.titulo = "Notas Fiscais Emitidas entre: " + periodo;
        h.classificacao = "Classificada por (Série + Número Nota)";
    }
    h.emitente = "??????";
    TSQLQuery q;
    q.SetConnection(&Db);
    q.SetSQL("select nome from emitente");
    q.Open();
    if (!q.IsEmpty()) h.emitente = q.FieldByName("nome")->AsString();
    return h;
}

std::string CreditLine(Listing Kind, const std::string& Versao) {
    return "OSKE Faturamento - " + ProgramCode(Kind) + " - Versão " + Versao;
}

}  // namespace billing::listings
