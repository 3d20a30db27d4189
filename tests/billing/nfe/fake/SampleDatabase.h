#pragma once
// A billing database ready for the NF-e road: an issuer in Paraná, a client,
// a product, the settings row with the NF-e folders, and invoices added one
// by one with a valid access key and one item each.
#include <string>

#include "platform/rtl/DateUtils.h"

class TSQLConnection;

namespace nfetest {

inline constexpr const char* kIssuerCnpj = "12345678000195";
inline constexpr const char* kClient = "0000001";

struct NFeFolders {
    std::string envio, retorno, arquivamento, erro;
};

// Makes the four folders under `root` ("envio", "retorno", "arquivo", "erro").
NFeFolders MakeFolders(const std::string& root);

// Issuer, client, product and series 1 (and 2) (the issuer and the settings
// row in place of any there) with the folders, environment "2 - Homologação" and
// ia_danfe "Não".
void InsertRegisters(TSQLConnection& db, const NFeFolders& folders);

// An invoice of the client with one item of 100.00, in `situacao`; returns
// its access key.
std::string InsertInvoice(TSQLConnection& db, int serie, int numero, TDateTime emissao,
                          const std::string& situacao = "Em Digitação", const std::string& cliente = kClient);

}  // namespace nfetest
