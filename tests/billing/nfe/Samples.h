#pragma once
// Invoices for the writer's tests: every text field holds the characters
// that trouble XML and the layout (ç, ã, º, ª, &, <, quotes).
#include <string>

#include "billing/nfe/NFeDocument.h"

namespace nfetest {

// Text with every troublesome character, fitting `maxChars`.
std::string Tricky(const std::string& base, int maxChars = 60);

// A complete invoice: issuer with trade name, a legal-person recipient, one
// item of tax situation `cst` (origin + treatment), a legal-person carrier
// with a vehicle, both additional texts.
billing::nfe::NFeDocument SampleDocument(const std::string& cst = "000");

// An item of the given tax situation.
billing::nfe::NFeItem SampleItem(const std::string& cst, int n = 1);

}  // namespace nfetest
