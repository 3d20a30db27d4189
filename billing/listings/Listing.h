#pragma once
// What the three report-library listings decide before and around a run,
// kept apart from their windows and reports so that a test drives it on a
// database alone: the criteria and their messages, the client codes typed
// into the criteria, and the texts of the page header and footer.
//
// - Nota403: the issued invoices of a period and a client range, filtered by
//   the state boxes.
// - Nota300: the same listing for the current day, without a client range.
// - Nota409: the sales of a period summed by product group.
// Invoices in the state "Erro" never reach the invoice listings; the summary
// counts invoices of every state.
#include <optional>
#include <string>

#include "billing/data/Messages.h"
#include "platform/rtl/DateUtils.h"

class TSQLConnection;

namespace billing::listings {

enum class Listing { Nota403, Nota300, Nota409 };

inline constexpr const char* kAtencao = "Atenção";
inline constexpr const char* kDataInicialMaior = "A data Inicial maior que a final.";
inline constexpr const char* kClienteInicialMaior = "Cliente Inicial maior que a final.";
inline constexpr const char* kNenhumaSituacao = "Não foi selecionada nenhuma Situação.";
inline constexpr const char* kSemNotas = "Não existem Notas Fiscais para as condições Solicitadas.";
inline constexpr const char* kCodigoClienteInvalido =
    "O código do cliente deve ser um número de até 7 dígitos.";

// The NF-e states the invoice listings filter on, as the invoices store them.
inline constexpr const char* kAutorizada = "Autorizada";
inline constexpr const char* kCancelada = "Cancelada";
inline constexpr const char* kDenegada = "Denegada";
inline constexpr const char* kErro = "Erro";

// The criteria of a run. The boxes keep a state in the listing: Nota403's
// "Autorizadas", "Canceladas", "Denegadas"; Nota300's "Ativos" (Autorizada),
// "Bloqueados" (Cancelada), "Inativos" (Denegada). The summary reads the
// period only.
struct Criteria {
    TDateTime dataInicial = 0;
    TDateTime dataFinal = 0;
    std::string idClienteInicial = "0000000";
    std::string idClienteFinal = "9999999";
    bool autorizada = true;
    bool cancelada = true;
    bool denegada = true;

    // The criteria a form shows first: today as the whole period, every
    // client, every state.
    static Criteria Initial(TDateTime Today);
};

// The message that refuses the criteria, nothing when the listing may run.
// Dates count by day; client codes compare as text; Nota300 and Nota409 have
// no client range, Nota409 no state boxes.
std::optional<std::string> CriteriaError(Listing Kind, const Criteria& C);
// The same, shown in a box captioned "Atenção" with the exclamation icon;
// false when refused.
bool CheckCriteria(Listing Kind, const Criteria& C, billing::data::IMessages& Messages);

// A client code as the criteria hold it: blanks around are dropped, an empty
// text counts as 0, and the number is written as 7 digits with leading
// zeros ("42" gives "0000042"). Nothing for a text that is no number of at
// most 7 digits.
std::optional<std::string> Formata_Codigo(const std::string& Text);
// What a client edit holds once left: Typed formatted, or, when it is no
// code, Previous again after kCodigoClienteInvalido in a box "Atenção".
std::string ClientCodeExit(const std::string& Typed, const std::string& Previous,
                           billing::data::IMessages& Messages);

// The texts a run sets in the page header.
struct HeaderTexts {
    std::string emitente;       // the issuer's name, "??????" when none is registered
    std::string programa;       // "Prg: NOTA403"
    std::string usuario;        // "Usuário: " + user
    std::string titulo;         // the period
    std::string classificacao;  // the order of the rows
};
HeaderTexts MakeHeader(TSQLConnection& Db, Listing Kind, const Criteria& C, const std::string& Usuario);

// "NOTA403", "NOTA300", "NOTA409".
std::string ProgramCode(Listing Kind);
// The footer's credit line: the system, the program and its version.
std::string CreditLine(Listing Kind, const std::string& Versao);

}  // namespace billing::listings
