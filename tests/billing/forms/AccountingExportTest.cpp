// The accounting export: golden files from a fixture database, every record
// cut by the layout's column tables, the value and text fields, the input
// checks, the records that would not fit (named, nothing written) and files
// that are replaced together or not at all.
#include <chrono>
#include <filesystem>
#include <sstream>
#include <map>

#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "billing/data/Utils.h"
#include "billing/forms/AccountingExport.h"
#include "billing/forms/Nota233.h"
#include "platform/rtl/Format.h"
#include "tests/billing/forms/BillingFixture.h"
#include "tests/platform/rtl/FileFaultSupport.h"

namespace fs = std::filesystem;
using billing::forms::AccountingExport;
using billing::forms::AccountingExportInput;

namespace {

using Row = std::vector<std::pair<std::string, Variant>>;

std::vector<std::string> Lines(const std::string& text) {
    EXPECT_TRUE(text.size() >= 2 && text.substr(text.size() - 2) == "\r\n") << "every record ends with CR LF";
    return testsupport::CrLfLines(text);
}

// A column of a layout: 1-based first column, width.
struct Col {
    int first;
    int width;
};

// The field at a column, from the code page 1252 bytes (one per character).
std::string Field(const std::string& record, Col c) {
    return Cp1252ToUtf8(record.substr(static_cast<std::size_t>(c.first - 1), static_cast<std::size_t>(c.width)));
}

// The layouts, column by column, as the accounting package reads them.
const std::vector<Col> kHeader = {{1, 2},  {3, 7},  {10, 14}, {24, 10}, {34, 10},
                                  {44, 1}, {45, 2}, {47, 5},  {52, 1},  {53, 2}};
const std::vector<Col> kInvoice = {
    {1, 2},     {3, 7},     {10, 7},    {17, 14},  {31, 7},   {38, 2},   {40, 7},   {47, 7},   {54, 2},
    {56, 2},    {58, 7},    {65, 7},    {72, 7},   {79, 10},  {89, 10},  {99, 13},  {112, 13}, {125, 30},
    {155, 1},   {156, 7},   {163, 3},   {166, 1},  {167, 1},  {168, 21}, {189, 10}, {199, 7},  {206, 13},
    {219, 13},  {232, 13},  {245, 13},  {258, 1},  {259, 52}, {311, 14}, {325, 7},  {332, 7},  {339, 2},
    {341, 50},  {391, 20},  {411, 20},  {431, 300}, {731, 44}, {775, 6}, {781, 1},  {782, 93}};
const std::vector<Col> kValues = {{1, 2},   {3, 7},   {10, 7},  {17, 5},  {22, 13}, {35, 5},
                                  {40, 13}, {53, 13}, {66, 13}, {79, 39}, {118, 74}};
const std::vector<Col> kClient = {{1, 2},    {3, 7},    {10, 2},   {12, 7},   {19, 7},   {26, 10},  {36, 40},
                                  {76, 40},  {116, 7},  {123, 30}, {153, 8},  {161, 14}, {175, 20}, {195, 14},
                                  {209, 14}, {223, 1},  {224, 1},  {225, 1},  {226, 20}, {246, 20}, {266, 4},
                                  {270, 5},  {275, 7},  {282, 9},  {291, 100}};

// The columns of a layout follow each other without gap and add up to the
// record's nominal width.
int Width(const std::vector<Col>& layout) {
    int next = 1;
    for (const Col& c : layout) {
        EXPECT_EQ(c.first, next) << "a gap or overlap before column " << c.first;
        next = c.first + c.width;
    }
    return next - 1;
}

std::string Blanks(int n) { return std::string(static_cast<std::size_t>(n), ' '); }
std::string Zeros(int n) { return std::string(static_cast<std::size_t>(n), '0'); }

class ExportFiles : public billtest::Session {
protected:
    void SetUp() override {
        Session::SetUp();
        out = dir.path() / "saida";
        fs::create_directory(out);
        Run("update emitente set cnpj = '12345678000195'");
        Run("insert into uf(id_uf, uf) values(35, 'SP')");
        Run("insert into uf(id_uf, uf) values(33, 'RJ')");
        Run("insert into municipio(id_municipio, nome, id_uf) values(3550308, 'São Paulo', 35)");
        Run("insert into municipio(id_municipio, nome, id_uf) values(3304557, 'Rio de Janeiro', 33)");
        Run("insert into municipio(id_municipio, nome, id_uf) values(4100000, 'Sem Estado', 41)");
        // Billing in another town than the main one: still exported (by the main one).
        Client({{"Id_Cliente", Variant("0000007")}, {"Nome", Variant("José da Conceição Ltda")},
                {"Nome_Fantasia", Variant("Conceição Materiais")}, {"Endereco", Variant("Rua das Flores")},
                {"Numero_Endereco", Variant("S/N")}, {"Cep", Variant("01001000")},
                {"CPF_CNPJ", Variant("11222333000181")}, {"IE_RG", Variant("110042490114")},
                {"Telefone", Variant("1133334444")}, {"Tributado", Variant("sim")}, {"Natureza", Variant("Jurídica")},
                {"Bairro", Variant("Sé")}, {"Id_Municipio", Variant(3550308)},
                {"Id_Municipio_Cobranca", Variant(3304557)}});
        Client({{"Id_Cliente", Variant("0000003")}, {"Nome", Variant("Maria Antônia")},
                {"Endereco", Variant("Av. Brasil")}, {"Numero_Endereco", Variant("123")},
                {"Cep", Variant("20040002")}, {"CPF_CNPJ", Variant("12345678909")},
                {"Telefone", Variant("2122223333")}, {"Tributado", Variant("")}, {"Natureza", Variant("Física")},
                {"Bairro", Variant("Centro")}, {"Id_Municipio", Variant(3304557)},
                {"Id_Municipio_Cobranca", Variant(3304557)}});
        Client({{"Id_Cliente", Variant("0000005")}, {"Nome", Variant("Rascunho Comércio")},
                {"Numero_Endereco", Variant("45")}, {"Tributado", Variant("Não")}, {"Natureza", Variant("Jurídica")},
                {"Id_Municipio", Variant(3550308)}});
        Invoice({{"Id_Serie_Documento", Variant(1)}, {"Id_Nota_Fiscal", Variant(10)},
                 {"Id_Cliente", Variant("0000007")}, {"Id_CFOP", Variant("5102")},
                 {"Data_Emissao", Variant("2024-03-01")}, {"Data_Saida", Variant("2024-03-02")},
                 {"Valor_Total_Nota", Variant(1234.5)}, {"Valor_Frete", Variant(10.0)},
                 {"Valor_Seguro", Variant(0.125)}, {"Valor_Produto", Variant(1224.38)},
                 {"Valor_Base_Calculo", Variant(1234.5)}, {"Valor_ICMS", Variant(222.21)},
                 {"Valor_Outras_Despesas", Variant(0.0)}, {"Modalidade_Frete", Variant("0 - Por conta do Emitente")},
                 {"Numero_NFe", Variant("35240312345678000195550010000000101000000107")},
                 {"Dados_Adicionais_Contribuinte", Variant("Pedido 123 - Conceição")},
                 {"Situacao_NFE", Variant("Autorizada")}});
        // The last day of the period, with a time of day; no exit date, no
        // access key, additional data on two lines.
        Invoice({{"Id_Serie_Documento", Variant(1)}, {"Id_Nota_Fiscal", Variant(11)},
                 {"Id_Cliente", Variant("0000003")}, {"Id_CFOP", Variant("6102")},
                 {"Data_Emissao", Variant("2024-03-31 18:45:00")}, {"Valor_Total_Nota", Variant(0.125)},
                 {"Valor_Produto", Variant(0.125)}, {"Modalidade_Frete", Variant("1 - Por conta do Destinatário")},
                 {"Dados_Adicionais_Contribuinte", Variant("Linha 1\r\nLinha 2")},
                 {"Situacao_NFE", Variant("Autorizada")}});
        Invoice({{"Id_Serie_Documento", Variant(1)}, {"Id_Nota_Fiscal", Variant(12)},
                 {"Id_Cliente", Variant("0000007")}, {"Id_CFOP", Variant("5102")},
                 {"Data_Emissao", Variant("2024-03-15")}, {"Data_Saida", Variant("2024-03-15")},
                 {"Valor_Total_Nota", Variant(99999999999.99)}, {"Valor_Produto", Variant(99999999999.99)},
                 {"Valor_Outras_Despesas", Variant(41.67)}, {"Modalidade_Frete", Variant("")},
                 {"Numero_NFe", Variant("352403123456780001955500100000001210000001219")},
                 {"Situacao_NFE", Variant("Autorizada")}});
        // Not authorised, yet its client goes to the client file.
        Invoice({{"Id_Serie_Documento", Variant(1)}, {"Id_Nota_Fiscal", Variant(13)},
                 {"Id_Cliente", Variant("0000005")}, {"Id_CFOP", Variant("5102")},
                 {"Data_Emissao", Variant("2024-03-20")}, {"Situacao_NFE", Variant("Em Digitação")}});
        // Outside the period.
        Invoice({{"Id_Serie_Documento", Variant(1)}, {"Id_Nota_Fiscal", Variant(9)},
                 {"Id_Cliente", Variant("0000003")}, {"Id_CFOP", Variant("5102")},
                 {"Data_Emissao", Variant("2024-02-29")}, {"Situacao_NFE", Variant("Autorizada")}});
        Invoice({{"Id_Serie_Documento", Variant(2)}, {"Id_Nota_Fiscal", Variant(1)},
                 {"Id_Cliente", Variant("0000007")}, {"Id_CFOP", Variant("5102")},
                 {"Data_Emissao", Variant("2024-04-01")}, {"Situacao_NFE", Variant("Autorizada")}});
    }
    void Run(const std::string& sql) { dmdb->ADOConnection->Execute(sql); }
    void Insert(const std::string& table, const Row& row) {
        std::string columns, values;
        Row params;
        for (std::size_t i = 0; i < row.size(); ++i) {
            columns += (i ? ", " : "") + row[i].first;
            values += (i ? ", :p" : ":p") + std::to_string(i);
            params.push_back({"p" + std::to_string(i), row[i].second});
        }
        dmdb->ADOConnection->Execute("insert into " + table + "(" + columns + ") values(" + values + ")", params);
    }
    void Client(const Row& row) { Insert("cliente", row); }
    void Invoice(Row row) {
        row.push_back({"Id_Registro", Variant(IntToStrZero(row[0].second.AsInteger(), 3) +
                                              IntToStrZero(row[1].second.AsInteger(), 7))});
        Insert("nota_fiscal", row);
    }
    AccountingExportInput March(const std::string& folder) {
        AccountingExportInput in;
        in.codigoEmpresa = 42;
        in.dataInicial = EncodeDate(2024, 3, 1);
        in.dataFinal = EncodeDate(2024, 3, 31);
        in.pastaSalvar = folder;
        return in;
    }
    billing::forms::AccountingExportResult Write(const AccountingExportInput& in) {
        AccountingExport e(*dmdb->ADOConnection, messages);
        e.OnProgress = [this](int p, int m) { progress.emplace_back(p, m); };
        return e.Run(in);
    }
    std::string Sales() { return testsupport::ReadAll((out / "0000042-SAI.TXT").string()); }
    std::string Clients() { return testsupport::ReadAll((out / "0000042-CLI.TXT").string()); }
    // The single message, with the messages cleared for the next step.
    std::string Message() {
        EXPECT_EQ(messages.Entries().size(), 1u);
        std::string text = messages.LastText();
        messages.Clear();
        return text;
    }

    fs::path out;
    billing::data::RecordingMessages messages;
    std::vector<std::pair<int, int>> progress;
};

}  // namespace

TEST(ExportFields, ValorGivesTheDigitsOfTwoDecimalsRoundedHalfAwayFromZero) {
    EXPECT_EQ(AccountingExport::Valor(1234.5, 13), "0000000123450");
    EXPECT_EQ(AccountingExport::Valor(0, 13), "0000000000000");
    EXPECT_EQ(AccountingExport::Valor(41.67, 5), "04167");
    EXPECT_EQ(AccountingExport::Valor(0.125, 5), "00013");
    EXPECT_EQ(AccountingExport::Valor(2.675, 5), "00268") << "an amount typed in decimal rounds as written";
    EXPECT_EQ(AccountingExport::Valor(1234567.891, 5), "123456789") << "longer than the field: not cut";
    // A negative value keeps its sign behind the zeros (the export refuses it).
    EXPECT_EQ(AccountingExport::Valor(-1.5, 5), "0-150");
}

TEST(ExportFields, FixLengthCutsOrFillsInCharactersAndKeepsARecordOnOneLine) {
    EXPECT_EQ(AccountingExport::FixLength("Conceição", 4), "Conc");
    EXPECT_EQ(AccountingExport::FixLength("Sé", 4), "Sé  ");
    EXPECT_EQ(AccountingExport::FixLength("", 3), "   ");
    EXPECT_EQ(AccountingExport::FixLength("a\r\nb\tc", 8), "a  b c  ");
}

TEST_F(ExportFiles, TheFilesMatchTheGoldenFilesAndTheSuccessMessageNamesThem) {
    auto result = Write(March(out.string()));
    ASSERT_TRUE(result.written) << messages.LastText();
    EXPECT_EQ(Message(), "Foram gerados os seguintes arquivos: \r\n" + (out / "0000042-SAI.TXT").string() + "\r\n" +
                             (out / "0000042-CLI.TXT").string());
    EXPECT_EQ(Sales(), testsupport::ReadAll(testsupport::DataPath("billing/export/0000042-SAI.TXT")));
    EXPECT_EQ(Clients(), testsupport::ReadAll(testsupport::DataPath("billing/export/0000042-CLI.TXT")));
    // Progress: three invoices, then three clients.
    std::vector<std::pair<int, int>> expected = {{0, 3}, {1, 3}, {2, 3}, {3, 3}, {0, 3}, {1, 3}, {2, 3}, {3, 3}};
    EXPECT_EQ(progress, expected);
}

TEST_F(ExportFiles, EveryRecordCutByTheLayoutHoldsItsFields) {
    ASSERT_TRUE(Write(March(out.string() + "/")).written);
    std::vector<std::string> sales = Lines(Sales());
    ASSERT_EQ(sales.size(), 8u);  // header, three invoices with their values, trailer
    EXPECT_EQ(Width(kHeader), 54);
    EXPECT_EQ(Width(kInvoice), 874);
    EXPECT_EQ(Width(kValues), 191);
    EXPECT_EQ(Width(kClient), 390);
    EXPECT_EQ(sales[0].size(), 54u);
    for (int i : {1, 3, 5}) EXPECT_EQ(sales[i].size(), 874u) << i;
    for (int i : {2, 4, 6}) EXPECT_EQ(sales[i].size(), 191u) << i;
    EXPECT_EQ(sales[7], std::string(100, '9'));

    const std::vector<std::string> header = {"01", "0000042", "12345678000195", "01/03/2024", "31/03/2024",
                                             "N",  "03",      "00000",          "1",          "17"};
    for (std::size_t i = 0; i < kHeader.size(); ++i) EXPECT_EQ(Field(sales[0], kHeader[i]), header[i]) << i;

    const std::vector<std::string> first = {"02", "0000001", "0000042", "11222333000181", "0000002", "00", "0000004",
        "0005102", "SP", "00", "0000010", "0000001", "0000000", "02/03/2024", "01/03/2024", "0000000123450",
        Zeros(13), Blanks(30), "F", "3550308", "EEE", "4", " ", Zeros(21), "00/00/0000", "0000000",
        "0000000001000", "0000000000013", Zeros(13), "0000000122438", "0", Zeros(52), Zeros(14), "0000002",
        "0000000", "99", Blanks(50), "110042490114        ", Blanks(20),
        "Pedido 123 - Conceição" + Blanks(278), "35240312345678000195550010000000101000000107", Blanks(6), " ",
        Blanks(93)};
    ASSERT_EQ(first.size(), kInvoice.size());
    for (std::size_t i = 0; i < kInvoice.size(); ++i) EXPECT_EQ(Field(sales[1], kInvoice[i]), first[i]) << i;

    const std::vector<std::string> values = {"03", "0000002", "0000001", "04167",
        "0000000123450", "00007", "0000000022221", Zeros(13), Zeros(13), Zeros(39), Blanks(74)};
    for (std::size_t i = 0; i < kValues.size(); ++i) EXPECT_EQ(Field(sales[2], kValues[i]), values[i]) << i;

    // The second invoice: no exit date, a time of day left out, no key, two
    // lines of additional data on one, freight by the recipient.
    EXPECT_EQ(Field(sales[3], kInvoice[1]), "0000003");
    EXPECT_EQ(Field(sales[3], kInvoice[8]), "RJ");
    EXPECT_EQ(Field(sales[3], kInvoice[13]), Blanks(10));
    EXPECT_EQ(Field(sales[3], kInvoice[14]), "31/03/2024");
    EXPECT_EQ(Field(sales[3], kInvoice[15]), "0000000000013");
    EXPECT_EQ(Field(sales[3], kInvoice[18]), "C");
    EXPECT_EQ(Field(sales[3], kInvoice[39]), "Linha 1  Linha 2" + Blanks(284));
    EXPECT_EQ(Field(sales[3], kInvoice[40]), Blanks(44));
    EXPECT_EQ(Field(sales[4], kValues[1]), "0000004");
    // The third: the largest value that fits, an empty freight text, a key
    // longer than 44 characters cut to its field.
    EXPECT_EQ(Field(sales[5], kInvoice[15]), "9999999999999");
    EXPECT_EQ(Field(sales[5], kInvoice[18]), "C");
    EXPECT_EQ(Field(sales[5], kInvoice[40]), "35240312345678000195550010000000121000000121");
    EXPECT_EQ(Field(sales[6], kValues[1]), "0000006");
    EXPECT_EQ(Field(sales[6], kValues[8]), "0000000004167");

    // Clients: each once, in code order, the one of an unauthorised invoice too.
    std::vector<std::string> clients = Lines(Clients());
    ASSERT_EQ(clients.size(), 3u);
    for (const std::string& c : clients) EXPECT_EQ(c.size(), 390u);
    EXPECT_EQ(Field(clients[0], kClient[0]), "22");
    EXPECT_EQ(Field(clients[0], kClient[6]), "Maria Antônia" + Blanks(27));
    EXPECT_EQ(Field(clients[1], kClient[6]), "Rascunho Comércio" + Blanks(23));
    const std::vector<std::string> seven = {"22", "0000042", "SP", "0000000", "3550308", "Conceição ",
        "José da Conceição Ltda" + Blanks(18), "Rua das Flores" + Blanks(26), "0000000", Blanks(30), "01001000",
        "11222333000181", "110042490114" + Blanks(8), "1133334444    ", "1133334444    ", "N", "S", "1", Blanks(20),
        "Sé" + Blanks(18), "0000", "00000", "0000030", Blanks(9), Blanks(100)};
    for (std::size_t i = 0; i < kClient.size(); ++i) EXPECT_EQ(Field(clients[2], kClient[i]), seven[i]) << i;
    // Maria: a person, an empty taxed flag, a whole address number.
    EXPECT_EQ(Field(clients[0], kClient[8]), "0000123");
    EXPECT_EQ(Field(clients[0], kClient[16]), " ");
    EXPECT_EQ(Field(clients[0], kClient[17]), "2");
    EXPECT_EQ(Field(clients[1], kClient[16]), "N");
    // Accented letters are single bytes of code page 1252.
    EXPECT_NE(clients[2].find("Jos\xE9 da Concei\xE7\xE3o Ltda"), std::string::npos);
}

TEST_F(ExportFiles, TheCompanyCodeIsCheckedFirstAndAloneThenTheOtherInputsTogether) {
    AccountingExportInput in = March(out.string());
    in.codigoEmpresa = 0;
    in.dataFinal = EncodeDate(2024, 2, 1);
    in.pastaSalvar = dir.file("nao-existe");
    EXPECT_FALSE(Write(in).written);
    EXPECT_EQ(Message(), "Você deve informar o seu código de empresa junto a Center Contábeis !");

    in.codigoEmpresa = 42;
    Write(in);
    EXPECT_EQ(Message(), "Foram identificados erros, por favor corrija: \r\n\r\nA Data Inicial é maior que a Final !\r\n"
                         "A Pasta Informada '" + dir.file("nao-existe") + "/' não existe !\r\n");
    in.dataInicial.reset();
    in.pastaSalvar = dir.file("d'água");
    in.codigoEmpresa = 12345678;
    Write(in);
    EXPECT_EQ(Message(), "Foram identificados erros, por favor corrija: \r\n\r\nInforme a Data Inicial e Final !\r\n"
                         "O Código da Empresa deve ter no máximo 7 dígitos !\r\nA Pasta Informada '" +
                             dir.file("d''água") + "/' não existe !\r\n");
    in = March("   ");
    Write(in);
    EXPECT_NE(Message().find("Informe a Pasta Salvar !"), std::string::npos) << "never the file system's root";
    EXPECT_TRUE(fs::is_empty(out));
}

TEST_F(ExportFiles, APeriodOfOneDayIsValidAndOneWithoutAuthorisedInvoicesWritesNothing) {
    AccountingExportInput in = March(out.string());
    in.dataInicial = in.dataFinal = EncodeDate(2024, 3, 31);
    ASSERT_TRUE(Write(in).written);
    EXPECT_EQ(Lines(Sales()).size(), 4u);
    EXPECT_EQ(Lines(Clients()).size(), 1u);
    messages.Clear();
    fs::remove(out / "0000042-SAI.TXT");
    fs::remove(out / "0000042-CLI.TXT");
    // Only an invoice in typing on that day: no sales file and no client file.
    in.dataInicial = in.dataFinal = EncodeDate(2024, 3, 20);
    EXPECT_FALSE(Write(in).written);
    EXPECT_EQ(Message(), "Não existem Notas Fiscais para o Intervalo solicitado !");
    EXPECT_TRUE(fs::is_empty(out));
}

TEST_F(ExportFiles, ValuesAndNumbersThatDoNotFitAreNamedAndNothingIsWritten) {
    Run("update nota_fiscal set valor_total_nota = 100000000000 where id_nota_fiscal = 12");
    Run("update nota_fiscal set valor_frete = -5 where id_nota_fiscal = 10");
    Run("update nota_fiscal set id_cfop = '5.10' where id_nota_fiscal = 11");
    Run("update cliente set numero_endereco = '123456789' where id_cliente = '0000003'");
    EXPECT_FALSE(Write(March(out.string())).written);
    std::string text = Message();
    EXPECT_EQ(text.rfind("Foram identificados erros, por favor corrija: \r\n\r\n", 0), 0u);
    EXPECT_NE(text.find("Nota Fiscal série 1, número 12: o Valor Total da Nota (100.000.000.000,00) não cabe em 13 "
                        "dígitos."),
              std::string::npos)
        << text;
    EXPECT_NE(text.find("Nota Fiscal série 1, número 10: o Valor do Frete (-5,00) é negativo."), std::string::npos);
    EXPECT_NE(text.find("Nota Fiscal série 1, número 11: o CFOP \"5.10\" não é um número."), std::string::npos);
    EXPECT_NE(text.find("Cliente 0000003 (Maria Antônia): o Número do Endereço (123456789) não cabe em 7 dígitos."),
              std::string::npos);
    EXPECT_NE(text.find("Nenhum arquivo foi gerado."), std::string::npos);
    EXPECT_TRUE(fs::is_empty(out));
}

TEST_F(ExportFiles, AClientWithoutTownOrStateOrNotRegisteredIsNamedInsteadOfWrittenBlank) {
    Run("update cliente set id_municipio = 4100000 where id_cliente = '0000003'");  // a town without a state
    Run("update cliente set id_municipio = null where id_cliente = '0000005'");
    Run("update nota_fiscal set id_cliente = '0000099' where id_nota_fiscal = 12");
    EXPECT_FALSE(Write(March(out.string())).written);
    std::string text = Message();
    EXPECT_NE(text.find("Cliente 0000003 (Maria Antônia): não tem Município ou UF cadastrado."), std::string::npos)
        << text;
    EXPECT_NE(text.find("Cliente 0000005 (Rascunho Comércio): não tem Município ou UF cadastrado."),
              std::string::npos);
    EXPECT_NE(text.find("Nota Fiscal série 1, número 12: o cliente 0000099 não está cadastrado."), std::string::npos);
    EXPECT_EQ(text.find("Cliente 0000007"), std::string::npos) << "billing in another town is no problem";
    // Each client is named once, though it is read for both files.
    EXPECT_EQ(text.find("Cliente 0000003"), text.rfind("Cliente 0000003"));
    EXPECT_TRUE(fs::is_empty(out));
}

TEST_F(ExportFiles, AWriteFailureLeavesNeitherNewFileAndTheOldOnesUntouched) {
    testsupport::WriteAll((out / "0000042-SAI.TXT").string(), "antigo SAI");
    testsupport::WriteAll((out / "0000042-CLI.TXT").string(), "antigo CLI");
    // Under 2,000 bytes the client file (1,176) is written whole and the
    // sales file (3,365) fails: one file was complete. Under 50 both fail.
    for (rlim_t limit : {2000, 50}) {
        {
            filefaults::DiskFullAfter full(limit);
            EXPECT_FALSE(Write(March(out.string())).written);
        }
        std::string text = Message();
        EXPECT_EQ(text.rfind("Não foi possível gravar os arquivos de exportação; nenhum arquivo foi alterado.", 0), 0u)
            << text;
        EXPECT_EQ(Sales(), "antigo SAI") << limit;
        EXPECT_EQ(Clients(), "antigo CLI") << limit;
        EXPECT_EQ(filefaults::Entries(out), (std::vector<std::string>{"0000042-CLI.TXT", "0000042-SAI.TXT"}))
            << "no temporary file is left";
    }
    // A client file that cannot be made at all (a folder by that name).
    fs::remove(out / "0000042-CLI.TXT");
    fs::create_directory(out / "0000042-CLI.TXT");
    EXPECT_FALSE(Write(March(out.string())).written);
    Message();
    EXPECT_EQ(Sales(), "antigo SAI");
    fs::remove(out / "0000042-CLI.TXT");
    ASSERT_TRUE(Write(March(out.string())).written);
    EXPECT_EQ(filefaults::Entries(out), (std::vector<std::string>{"0000042-CLI.TXT", "0000042-SAI.TXT"}));
    EXPECT_EQ(Sales(), testsupport::ReadAll(testsupport::DataPath("billing/export/0000042-SAI.TXT")));
}

// ---------------------------------------------------------------------------
// The form

TEST_F(ExportFiles, TheFormProposesTodayAndTheProgramFolderAndWritesWhatItsControlsShow) {
    TfrmNota233 form(nullptr);
    form.FormShow(&form);
    EXPECT_EQ(form.Caption(), "Gerar Arquivo Center Contábeis - Nota233");
    EXPECT_EQ(form.tbTemp->FieldByName("Data_Inicial")->AsDateTime(), Date());
    EXPECT_EQ(form.tbTemp->FieldByName("Data_Final")->AsDateTime(), Date());
    EXPECT_EQ(form.tbTemp->FieldByName("Pasta_Salvar")->AsString(), TfrmNota233::ProgramFolder());
    EXPECT_EQ(form.tbTemp->FieldByName("Pasta_Salvar")->AsString().back(), '/');
    EXPECT_FALSE(form.ProgressBar->Visible());

    dialogs.Expect("Você deve informar o seu código de empresa junto a Center Contábeis !", mrOk);
    form.btnOk->Click();

    form.tbTemp->FieldByName("Codigo_Empresa")->SetAsInteger(42);
    form.tbTemp->FieldByName("Data_Inicial")->SetAsDateTime(EncodeDate(2024, 3, 1));
    form.tbTemp->FieldByName("Data_Final")->SetAsDateTime(EncodeDate(2024, 3, 31));
    form.tbTemp->FieldByName("Pasta_Salvar")->SetAsString(out.string());
    dialogs.Expect("Foram gerados os seguintes arquivos: \r\n" + (out / "0000042-SAI.TXT").string(), mrOk, "Atenção");
    form.btnOk->Click();
    EXPECT_EQ(Sales(), testsupport::ReadAll(testsupport::DataPath("billing/export/0000042-SAI.TXT")));
    EXPECT_FALSE(form.ProgressBar->Visible());
    EXPECT_EQ(form.ProgressBar->Position(), 0);

    // The folder button puts the chosen folder in the field.
    dialogs.AnswerText(dir.path().string());
    form.dbePasta_Salvar->DoCustomDlg();
    EXPECT_EQ(form.tbTemp->FieldByName("Pasta_Salvar")->AsString(), dir.path().string());
}

// ---------------------------------------------------------------------------
// A full disk at each write and a kill between each step

namespace {

class ExportFileFaults : public ExportFiles, public ::testing::WithParamInterface<filefaults::Fault> {
protected:
    void SetUp() override {
        ExportFiles::SetUp();
        sai = (out / "0000042-SAI.TXT").string();
        cli = (out / "0000042-CLI.TXT").string();
    }
    std::string sai, cli;
    std::vector<ui::BoxRequest> shown;

    // As the clerk runs it: the form's button, its boxes answered.
    void ThroughTheForm() {
        ui::ScriptedDialogs quiet([](const std::string&) {});
        TfrmNota233 form(nullptr);
        form.FormShow(&form);
        form.tbTemp->FieldByName("Codigo_Empresa")->SetAsInteger(42);
        form.tbTemp->FieldByName("Data_Inicial")->SetAsDateTime(EncodeDate(2024, 3, 1));
        form.tbTemp->FieldByName("Data_Final")->SetAsDateTime(EncodeDate(2024, 3, 31));
        form.tbTemp->FieldByName("Pasta_Salvar")->SetAsString(out.string());
        form.btnOk->Click();
        shown = quiet.Shown();
    }
};

}  // namespace

TEST_P(ExportFileFaults, ThePairIsBothOldOrBothNewOrTheHalfLeftByAKillIsPutBackAndReported) {
    // A kill runs without windows: the child must not touch the parent's.
    const bool viaForm = GetParam() == filefaults::Fault::FailedWrite;
    filefaults::FileSavePath p;
    p.Prepare = [&] {
        testsupport::WriteAll(sai, "antigo SAI\r\n");
        testsupport::WriteAll(cli, "antigo CLI\r\n");
        messages.Clear();
        shown.clear();
    };
    p.Act = [&] {
        if (viaForm) ThroughTheForm();
        else Write(March(out.string()));
    };
    p.Files = [&] { return testsupport::ReadAll(sai) + "|" + testsupport::ReadAll(cli); };
    p.Folders = {out};
    p.CheckFailure = [&] {
        ASSERT_EQ(shown.size(), 1u);
        EXPECT_EQ(shown[0].caption, "Erro");
        EXPECT_EQ(shown[0].text.rfind("Não foi possível gravar os arquivos de exportação; nenhum arquivo foi alterado.",
                                      0),
                  0u)
            << shown[0].text;
        EXPECT_EQ(testsupport::ReadAll(sai), "antigo SAI\r\n");
    };
    int halves = 0;
    p.CheckNextRun = [&](bool Half) {
        halves += Half;
        // Nothing of the killed run stays beside the pair.
        EXPECT_EQ(filefaults::Entries(out), (std::vector<std::string>{"0000042-CLI.TXT", "0000042-SAI.TXT"}));
        ASSERT_EQ(messages.Entries().size(), Half ? 2u : 1u);
        if (Half)
            EXPECT_EQ(messages.Entries()[0].text,
                      "A exportação anterior para a pasta '" + out.string() +
                          "/' foi interrompida entre os dois arquivos; os arquivos anteriores foram restaurados.");
        EXPECT_EQ(messages.LastText().rfind("Foram gerados os seguintes arquivos", 0), 0u);
        messages.Clear();
    };
    filefaults::FileSweepFigures f = filefaults::Sweep(GetParam(), p);
    EXPECT_EQ(f.writes, 2);
    // After each write, and before and after each of the two renames.
    EXPECT_EQ(f.stops, 6);
    // Killed before and after the second rename, the sales file was new and the client file old.
    if (!viaForm) EXPECT_EQ(halves, 2);
    RecordProperty("writes", f.writes);
    RecordProperty("kills", f.kills);
}

TEST_F(ExportFiles, ANewPairKilledBetweenItsRenamesIsUndoneAndReportedByTheNextRunThatWrites) {
    // No old files: the marker says the sales file was absent, and it goes again.
    filefaults::WriteSteps steps;
    bool killed = testsupport::KilledInChild([&] {
        steps.KillAt(5);  // after the sales file's rename, before the client file's
        Write(March(out.string()));
    });
    ASSERT_TRUE(killed);
    EXPECT_TRUE(fs::exists(out / "0000042-SAI.TXT"));
    EXPECT_FALSE(fs::exists(out / "0000042-CLI.TXT"));
    steps.Off();
    messages.Clear();
    AccountingExportInput refused = March(out.string());
    refused.dataInicial = EncodeDate(2024, 4, 1);
    refused.dataFinal = EncodeDate(2024, 3, 1);
    Write(refused);
    // A refused export does not look at the folder: the half stays until a run that writes.
    EXPECT_EQ(messages.Entries().size(), 1u);
    EXPECT_TRUE(fs::exists(out / "0000042-SAI.TXT"));
    messages.Clear();
    ASSERT_TRUE(Write(March(out.string())).written);
    ASSERT_EQ(messages.Entries().size(), 2u);
    EXPECT_NE(messages.Entries()[0].text.find("foi interrompida entre os dois arquivos"), std::string::npos);
    EXPECT_EQ(filefaults::Entries(out), (std::vector<std::string>{"0000042-CLI.TXT", "0000042-SAI.TXT"}));
}

// The record of the version before names the files by inode, which a
// remount may number anew: the files it guarded then may or may not be
// the ones there, and the clerk is told so instead of having the pair
// changed or the marker dropped in silence.
void RecordAsTheEarlierVersionDid(const fs::path& Folder) {
    for (const auto& e : fs::directory_iterator(Folder)) {
        if (e.path().extension() != ".estado") continue;
        std::string earlier;
        for (const std::string& line : testsupport::Split(testsupport::ReadAll(e.path().string()), '\n')) {
            std::istringstream fields(line);
            std::string what, name, which, size;
            if (!(fields >> what >> name >> which) || what == "maquina") continue;
            fields >> size;
            // The temporary file is the one the run left, whatever id its name carries now.
            if (what == "temporario")
                for (const auto& t : fs::directory_iterator(Folder))
                    if (t.path().filename().string().rfind(".0000042-CLI.TXT.tmp-", 0) == 0)
                        name = t.path().filename().string();
            struct stat st {};
            ASSERT_TRUE(which == "ausente" || ::stat((Folder / name).c_str(), &st) == 0) << name;
            earlier += what + " " + name + " " +
                       (which == "ausente" ? which : std::to_string(st.st_ino) + " " + size) + "\n";
        }
        testsupport::WriteAll(e.path().string(), earlier);
    }
}

TEST_F(ExportFiles, AHalfLeftByAKillIsJudgedByWhatTheFolderHoldsWhoeverRunsUnderTheKilledRunsIdAfterARemount) {
    auto days = [&](int First, int Last) {
        AccountingExportInput in = March(out.string());
        in.dataInicial = EncodeDate(2024, 3, First);
        in.dataFinal = EncodeDate(2024, 3, Last);
        return in;
    };
    for (bool earlierRecord : {false, true}) {
        SCOPED_TRACE(earlierRecord ? "record of the version before" : "record");
        for (const auto& e : fs::directory_iterator(out)) fs::remove(e.path());
        ASSERT_TRUE(Write(days(1, 14)).written);
        const std::string firstSales = Sales();
        filefaults::WriteSteps steps;
        ASSERT_TRUE(testsupport::KilledInChild([&] {
            steps.KillAt(5);  // after the sales file's rename, before the client file's
            Write(days(1, 31));
        }));
        steps.Off();
        // The killed run's id now names a process that runs (the program itself
        // after a reboot, anyone once the ids wrap): its leftovers carry it.
        long dead = 0;
        for (const std::string& name : filefaults::Entries(out))
            dead = std::max(dead, fileio::WriterOf(name, "0000042-SAI.TXT.anterior-"));
        ASSERT_GT(dead, 0);
        const pid_t alive = ::fork();
        if (alive == 0) {
            ::pause();
            ::_exit(0);
        }
        const std::string was = "-" + std::to_string(dead) + "-", now = "-" + std::to_string(alive) + "-";
        for (const std::string& name : filefaults::Entries(out))
            if (std::size_t at = name.find(was); at != std::string::npos)
                fs::rename(out / name, out / (name.substr(0, at) + now + name.substr(at + was.size())));
        if (earlierRecord) RecordAsTheEarlierVersionDid(out);
        // In doubt, the client file the run left under its temporary name
        // stays too, until it is a day old.
        std::vector<std::string> left{"0000042-CLI.TXT", "0000042-SAI.TXT"};
        for (const std::string& name : filefaults::Entries(out))
            if (earlierRecord && name.rfind(".0000042-CLI.TXT.tmp-", 0) == 0) left.insert(left.begin(), name);
        // The share is mounted again and numbers its files anew: each file of
        // the folder is the same bytes under the same name, at another inode.
        const std::string mixed = Sales();
        ASSERT_NE(mixed, firstSales);
        for (const std::string& name : filefaults::Entries(out)) {
            fs::copy_file(out / name, out / (name + ".copia"));
            fs::rename(out / (name + ".copia"), out / name);
        }
        // The repair is the first thing a run that looks at the folder does,
        // even one that then finds nothing to write.
        messages.Clear();
        EXPECT_FALSE(Write(days(2, 2)).written);
        ASSERT_EQ(messages.Entries().size(), 2u);
        EXPECT_NE(messages.Entries()[0].text.find(earlierRecord ? "pode ter sido interrompida entre os dois arquivos"
                                                                : "foi interrompida entre os dois arquivos"),
                  std::string::npos)
            << messages.Entries()[0].text;
        EXPECT_EQ(Sales(), earlierRecord ? mixed : firstSales);
        EXPECT_EQ(filefaults::Entries(out), left);
        messages.Clear();
        const bool third = Write(days(15, 31)).written;
        const std::string sales = Sales(), clients = Clients();
        ::kill(alive, SIGKILL);
        ::waitpid(alive, nullptr, 0);
        ASSERT_TRUE(third);
        ASSERT_EQ(messages.Entries().size(), 1u);
        EXPECT_EQ(filefaults::Entries(out), left);
        // A later run, that process gone, finds nothing left to put back.
        messages.Clear();
        EXPECT_FALSE(Write(days(2, 2)).written);
        EXPECT_EQ(Message(), "Não existem Notas Fiscais para o Intervalo solicitado !");
        EXPECT_EQ(Sales(), sales);
        EXPECT_EQ(Clients(), clients);
    }
}

TEST_F(ExportFiles, TwoExportsIntoOneFolderAtOnceNeverLeaveAMixedPairReportedAsDone) {
    // Each round stops the first export after its sales file's rename and,
    // meanwhile, has another write into the pair: a second program's export
    // (which the folder's lock reaches), or another machine's on a share
    // whose locks stay on each machine (which it does not): one that writes
    // straight into the pair, and one that runs an export and finds the
    // first's files and marker but none of its locks.
    AccountingExportInput other = March(out.string());
    other.dataInicial = EncodeDate(2024, 3, 15);
    const std::string told = dir.file("segundo.txt");
    const fs::path seen = dir.path() / "vista-da-outra-maquina";
    AccountingExportInput there = other;
    there.pastaSalvar = seen.string();
    auto contents = [](const fs::path& folder) {
        std::map<std::string, std::string> files;
        // All but the lock's file, which each export makes and removes.
        for (const auto& e : fs::directory_iterator(folder))
            if (e.path().extension() != ".trava")
                files[e.path().filename().string()] = testsupport::ReadAll(e.path().string());
        return files;
    };
    std::map<std::string, std::string> held;
    enum Other { Program, MachineWriting, MachineExporting };
    for (Other who : {Program, MachineWriting, MachineExporting}) {
        SCOPED_TRACE(who == Program ? "another program" : who == MachineWriting ? "another machine" : "another machine's export");
        bool stopped = false;
        fileio::SetWriteStepHook([&](fileio::WriteStep Step, int, const std::string& Target) {
            if (stopped || Step != fileio::WriteStep::AfterRename || Target.find("-SAI.TXT") == std::string::npos)
                return;
            stopped = true;
            if (who == MachineWriting) return fileio::WriteFileAtomic(Target, "outra máquina\r\n");
            if (who == MachineExporting) {
                // What the other machine sees of the folder: the same files, no lock.
                fs::create_directory(seen);
                for (const auto& e : fs::directory_iterator(out)) fs::copy_file(e.path(), seen / e.path().filename());
                held = contents(seen);
            }
            EXPECT_FALSE(testsupport::KilledInChild([&] {
                if (who == MachineExporting) fileio::SetThisMachineForTests("outra-maquina");
                messages.Clear();
                Write(who == MachineExporting ? there : other);
                testsupport::WriteAll(told, messages.LastText());
            }));
        });
        messages.Clear();
        const bool written = Write(March(out.string())).written;
        fileio::SetWriteStepHook(nullptr);
        ASSERT_TRUE(stopped);
        EXPECT_EQ(written, who != MachineWriting);
        if (who != MachineWriting) {
            EXPECT_EQ(Message().rfind("Foram gerados os seguintes arquivos", 0), 0u);
            EXPECT_EQ(testsupport::ReadAll(told).rfind("Outra exportação está gravando os arquivos desta empresa", 0),
                      0u)
                << testsupport::ReadAll(told);
            EXPECT_EQ(Sales(), testsupport::ReadAll(testsupport::DataPath("billing/export/0000042-SAI.TXT")));
            EXPECT_EQ(Clients(), testsupport::ReadAll(testsupport::DataPath("billing/export/0000042-CLI.TXT")));
        } else {
            EXPECT_EQ(Message().rfind("Outra exportação gravou os arquivos desta empresa", 0), 0u);
        }
        EXPECT_EQ(filefaults::Entries(out), (std::vector<std::string>{"0000042-CLI.TXT", "0000042-SAI.TXT"}));
    }
    // The other machine touched nothing while the first export could still
    // be at work; once its marker is old, that export is taken as cut off
    // and its half repaired there.
    EXPECT_EQ(contents(seen), held);
    for (const auto& e : fs::directory_iterator(seen))
        fs::last_write_time(e.path(), fs::file_time_type::clock::now() - std::chrono::hours(1));
    fileio::SetThisMachineForTests("outra-maquina");
    messages.Clear();
    const bool repaired = Write(there).written;
    fileio::SetThisMachineForTests("");
    EXPECT_TRUE(repaired);
    ASSERT_EQ(messages.Entries().size(), 2u);
    EXPECT_NE(messages.Entries()[0].text.find("foi interrompida entre os dois arquivos"), std::string::npos);
    EXPECT_EQ(filefaults::Entries(seen), (std::vector<std::string>{"0000042-CLI.TXT", "0000042-SAI.TXT"}));
}

INSTANTIATE_TEST_SUITE_P(Faults, ExportFileFaults, filefaults::BothFaults(), filefaults::FaultName);
