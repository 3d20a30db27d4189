#include "tests/billing/nfe/fake/SampleDatabase.h"

#include <filesystem>

#include "billing/nfe/ChaveNFe.h"
#include "platform/rtl/Strings.h"
#include "platform/db/SQLConnection.h"

namespace nfetest {

NFeFolders MakeFolders(const std::string& root) {
    NFeFolders f{root + "/envio", root + "/retorno", root + "/arquivo", root + "/erro"};
    for (const std::string* d : {&f.envio, &f.retorno, &f.arquivamento, &f.erro})
        std::filesystem::create_directories(*d);
    return f;
}

void InsertRegisters(TSQLConnection& db, const NFeFolders& folders) {
    // A database the program made already holds them.
    db.Execute("insert or ignore into uf (id_uf, uf) values (41, 'PR'), (35, 'SP')");
    db.Execute("insert or ignore into municipio (id_municipio, nome, id_uf) values (4106902, 'Curitiba', 41), "
               "(3550308, 'São Paulo', 35)");
    db.Execute("delete from emitente");  // the empty one a new database gets
    db.Execute("insert into emitente (Nome, Nome_Fantasia, Cnpj, Inscricao_Estadual, Endereco, Numero_Endereco, "
               "Bairro, Cep, Telefone, Id_Municipio, Id_Uf) values ('Indústria Exemplo Ltda', 'Exemplo', :pcnpj, "
               "'10123456-89', 'Rua XV de Novembro', '100', 'Centro', '80020000', '4133334444', 4106902, '41')",
               {{"pcnpj", Variant(kIssuerCnpj)}});
    db.Execute("insert into cliente (Id_Cliente, Nome, Nome_Fantasia, Endereco, Numero_Endereco, Bairro, Cep, "
               "Telefone, Id_Municipio, CPF_CNPJ, Natureza, IE_RG) values (:pid, 'Comércio São João Ltda', "
               "'São João', 'Av. Paulista', '1000', 'Bela Vista', '01310100', '1132221111', 3550308, "
               "'11222333000181', 'Jurídica', 'ISENTO')",
               {{"pid", Variant(kClient)}});
    db.Execute("insert into produto (Id_Produto, Descricao, Id_Unidade_Medida) values ('00001', 'Parafuso', 'UN')");
    db.Execute("insert into serie_documento (Id_Serie_Documento, Proximo_Numero) values (1, 1), (2, 1)");
    db.Execute("delete from opcao");  // the one a new database gets at its first opening
    db.Execute("insert into opcao (Ambiente, Pasta_NFe_Envio, Pasta_NFe_Retorno, Pasta_NFe_Arquivamento, "
               "Pasta_NFe_Erro, IA_Danfe, Copias_Danfe, Impressora_Danfe) values ('2 - Homologação', :pe, :pr, :pa, "
               ":perr, 'Não', 1, '')",
               {{"pe", Variant(folders.envio)},
                {"pr", Variant(folders.retorno)},
                {"pa", Variant(folders.arquivamento)},
                {"perr", Variant(folders.erro)}});
}

std::string InsertInvoice(TSQLConnection& db, int serie, int numero, TDateTime emissao, const std::string& situacao,
                          const std::string& cliente) {
    std::string key = billing::nfe::MontarChaveNFe("41", emissao, kIssuerCnpj, serie, numero);
    std::string registro = IntToStrZero(serie, 3) + IntToStrZero(numero, 7);
    db.Execute("insert into nota_fiscal (Id_Registro, Id_Nota_Fiscal, Id_Serie_Documento, Id_Cliente, Id_CFOP, "
               "Data_Emissao, Data_Saida, Valor_Base_Calculo, Valor_ICMS, Valor_Produto, Valor_Total_Nota, "
               "Tipo_Emissao, Finalidade_Emissao, Numero_NFe, Situacao_NFE, Tipo_Impressao_DANFE, Forma_Pagamento, "
               "Modalidade_Frete) values (:preg, :pnum, :pserie, :pcli, '5102', :pemi, :pemi, 100, 18, 100, 100, "
               "'1 - Normal', '1 - NF-e Normal', :pkey, :psit, '1 - Retrato', '0 - Pagamento a Vista', "
               "'0 - Por conta do Emitente')",
               {{"preg", Variant(registro)},
                {"pnum", Variant(numero)},
                {"pserie", Variant(serie)},
                {"pcli", Variant(cliente)},
                {"pemi", Variant::FromDateTime(emissao)},
                {"pkey", Variant(key)},
                {"psit", Variant(situacao)}});
    db.Execute("insert into nota_fiscal_item (Id_Registro, Id_Nota_Fiscal, Id_Serie_Documento, Id_Produto, "
               "Id_Unidade_Medida, Id_Situacao_Tributaria, Quantidade, Valor_Unitario, Valor_Total, Id_CFOP, "
               "Aliquota_icms, Valor_icms) values (:preg, :pnum, :pserie, '00001', 'UN', '000', 10, 10, 100, "
               "'5102', 18, 18)",
               {{"preg", Variant(registro)}, {"pnum", Variant(numero)}, {"pserie", Variant(serie)}});
    return key;
}

}  // namespace nfetest
