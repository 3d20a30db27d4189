#pragma once
// The benchmark's invoice rows, made from a fixed seed with a generator
// simple enough that the Pascal peer (listing_peer.pas) makes exactly the
// same rows: amounts are whole cents, so both sides add the same numbers.
#include <cstdint>
#include <string>

#include "memtable/mtMemTable.h"
#include "platform/rtl/DateUtils.h"

namespace listingbench {

// 32-bit linear congruential generator (Numerical Recipes constants).
struct Lcg {
    std::uint32_t state = 20261207u;
    std::uint32_t Next(std::uint32_t Range) {
        state = state * 1664525u + 1013904223u;
        return (state >> 8) % Range;
    }
};

inline const char* const kNomes[8] = {"Ana Comércio Ltda", "Bruno & Filhos", "Carla Distribuidora",
                                      "Drogaria São João", "Eletro Ávila ME", "Ferragens Íris",
                                      "Gráfica União", "Hortifruti Conceição"};
inline const char* const kSituacoes[4] = {"Autorizada", "Autorizada", "Cancelada", "Em Digitação"};

// Fills Table (closed, no fields) and opens it; answers the sum of the
// authorised invoices' totals, the listing's grand total.
inline double Fill(TmtMemTable& Table, int Rows) {
    Table.FieldDefs()->Add("Id_Serie_Documento", ftInteger);
    Table.FieldDefs()->Add("Id_Nota_Fiscal", ftInteger);
    Table.FieldDefs()->Add("Data_Emissao", ftDateTime);
    Table.FieldDefs()->Add("Nome", ftString, 60);
    Table.FieldDefs()->Add("Valor_Total_Nota", ftFloat);
    Table.FieldDefs()->Add("Valor_ICMS", ftFloat);
    Table.FieldDefs()->Add("Peso_Bruto", ftFloat);
    Table.FieldDefs()->Add("Situacao_NFE", ftString, 20);
    Table.Open();
    Lcg rng;
    const TDateTime first = EncodeDate(2024, 1, 1);
    std::int64_t cents = 0;
    for (int i = 0; i < Rows; ++i) {
        const int serie = 1 + static_cast<int>(rng.Next(3));
        const TDateTime dia = first + rng.Next(366);
        const char* nome = kNomes[rng.Next(8)];
        const std::uint32_t total = 100 + rng.Next(10000000);
        const std::uint32_t icms = total * 18 / 100;
        const std::uint32_t peso = rng.Next(1000000);
        const char* situacao = kSituacoes[rng.Next(4)];
        if (std::string(situacao) == "Autorizada") cents += total;
        Table.AppendRecord({Variant(serie), Variant(i + 1), Variant(dia), Variant(std::string(nome)),
                            Variant(total / 100.0), Variant(icms / 100.0), Variant(peso / 1000.0),
                            Variant(std::string(situacao))});
    }
    Table.First();
    return cents / 100.0;
}

}  // namespace listingbench
