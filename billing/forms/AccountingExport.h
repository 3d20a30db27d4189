#pragma once
// The export files of the outside accounting package: the authorised
// outgoing invoices of a period ("<folder><company, 7 digits>-SAI.TXT") and
// the clients of the period's invoices ("-CLI.TXT"), fixed-width records
// whose layouts are the whole contract with that package.
//
// What a reader must keep in mind:
// - Fields are built in characters, from UTF-8 texts; code page 1252 is made
//   only when the bytes are written, so an accented name takes one byte.
// - Every record has its nominal width. A number or value that does not fit
//   its field, a negative one, a CFOP that is no number, a client that is not
//   registered or has no municipality or state: each is named in one message
//   and nothing is written, so the package never reads a shifted record.
// - Both files are written under temporary names and take their real names
//   only when both are complete: a failure leaves the old files as they were.
//   One export at a time owns a folder's pair; another one is told so and
//   writes nothing.
#include <functional>
#include <optional>
#include <string>

#include "billing/data/Messages.h"
#include "platform/rtl/DateUtils.h"

class TSQLConnection;

namespace billing::forms {

struct AccountingExportInput {
    int codigoEmpresa = 0;                 // Codigo_Empresa; 0 when empty
    std::optional<TDateTime> dataInicial;  // empty when the picker is empty
    std::optional<TDateTime> dataFinal;
    std::string pastaSalvar;               // the folder as typed
};

struct AccountingExportResult {
    bool written = false;
    std::string salesFile;
    std::string clientFile;
};

class AccountingExport {
public:
    AccountingExport(TSQLConnection& Db, billing::data::IMessages& Messages);

    // Position and maximum of the work done: first over the invoices, then
    // over the clients.
    std::function<void(int Position, int Max)> OnProgress;

    // Checks the inputs and writes both files; every refusal and the result
    // are messages.
    AccountingExportResult Run(const AccountingExportInput& Input);

    // A money value as digits only, two decimals rounded half away from zero
    // (the runtime's FormatFloat), zero-filled on the left to Width: 1234.5
    // with width 13 gives "0000000123450". A longer result is not cut (the
    // export refuses such a value before it is written).
    static std::string Valor(double Value, int Width);
    // The first Width characters of Text, blank-filled on the right; a line
    // break or other control character becomes a blank, so that a record
    // stays on one line.
    static std::string FixLength(const std::string& Text, int Width);

    static constexpr const char* kSituacao = "Autorizada";

private:
    TSQLConnection& db_;
    billing::data::IMessages& messages_;
};

}  // namespace billing::forms
