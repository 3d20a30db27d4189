#pragma once
// The NF-e document (model 55, layout 1.10) of one invoice, written into the
// send folder for the monitor, which signs and sends it.
#include <string>
#include <vector>

#include "billing/nfe/Monitor.h"
#include "billing/nfe/NFeDocument.h"

namespace billing::nfe {

inline constexpr const char* kNFeNamespace = "http://www.portalfiscal.inf.br/nfe";
inline constexpr const char* kXsiNamespace = "http://www.w3.org/2001/XMLSchema-instance";
inline constexpr const char* kXsdNamespace = "http://www.w3.org/2001/XMLSchema";

// The file's text: UTF-8, lines ended by CR LF. Every group follows the
// layout: the ICMS group chosen by the tax situation, optional elements left
// out when empty. The totals are the sums of what the items state, each
// item's value being its stated quantity times its stated price, so the
// tax authority's recomputation gives the same cents. Raises ENFeError naming the field when a value cannot be
// made valid (no items, a negative amount, a CPF or CNPJ with wrong check
// digits, a state registration with letters, a text longer than the layout
// allows, a stored total the file would contradict, a missing recipient...).
std::string BuildNFeXml(const NFeDocument& doc);

// What the file states for an item and what its totals add up, in cents.
struct NFeTotals {
    long long vBC = 0;
    long long vICMS = 0;
    long long vProd = 0;
};

// An amount to the cent as the file writes it.
long long CentsXML(double value);

// An amount as the invoice states it, as the invoice's totals hold it: its
// cents over 100. A listing that adds these adds up to the invoices it lists.
// An amount no file can state (13 integer digits or more, not a number) comes
// back as given.
double StatedAmount(double value);

// What one item adds to the file's totals: its value and its ICMS each
// rounded to the cent, the base reduced by the product's reduction where the
// tax situation takes it, and base and tax only where the situation states an
// own ICMS. The invoice's stored totals are these sums, so that what the
// clerk sees and what the authority validates are one figure.
NFeTotals ItemTotals(const NFeItem& item);
NFeTotals InvoiceTotals(const std::vector<NFeItem>& items);

// key + "-nfe.xml".
std::string NFeFileName(const std::string& key);

// Checks the monitor (its answer does not stop the writing), builds the
// document and puts it into the send folder, replacing an earlier file of the
// same invoice. Returns the file's path; the file is in place when this
// returns, and when it raises no new file is left in the folder.
std::string Transmitir_NFE(const NFeConfig& config, const NFeDocument& doc);

// A state registration as the file states it: "ISENTO" (any case) or its
// digits, the usual punctuation of a written registration dropped. Raises
// ENFeError naming `party` ("Emitente", "Destinatário") and the field when it
// holds letters or other characters, or more than 14 digits. The issuer's
// is required and has at least 2 digits; a recipient's may be blank ("") or
// a Paraná rural producer's "PR" and 4 to 8 digits. Every registration the
// writer states passes here, so the rule of the state `uf` (ValidarIE) is
// checked in this one place; an empty `uf` skips it (a natural person).
std::string InscricaoEstadualNFe(const std::string& ie, const std::string& uf, const std::string& party,
                                 bool issuer);

// Two-digit state codes and abbreviations the layout knows.
bool IsStateCode(const std::string& code);
bool IsStateAbbreviation(const std::string& uf, bool allowExterior);

}  // namespace billing::nfe
