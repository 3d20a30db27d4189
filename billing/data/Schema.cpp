#include "billing/data/Schema.h"

#include "billing/data/LoginDelay.h"
#include "billing/data/SchemaUpgrade.h"

#include "billing/data/ReferenceTables.h"

#include "platform/rtl/SafeFile.h"
#include "platform/rtl/SysUtils.h"

#include <atomic>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <vector>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace billing::data {

namespace {

// "Name type" with a leading "*" for a key column.
TableDef Table(const char* name, std::initializer_list<const char*> columns) {
    TableDef t{name, {}};
    for (const char* c : columns) {
        std::string s(c);
        sqlite::ColumnDef d;
        if (!s.empty() && s[0] == '*') {
            d.primaryKey = true;
            s.erase(0, 1);
        }
        std::size_t space = s.find(' ');
        d.name = s.substr(0, space);
        d.type = s.substr(space + 1);
        t.columns.push_back(std::move(d));
    }
    return t;
}

std::vector<TableDef> BuildSchema() {
    std::vector<TableDef> t;
    t.push_back(Table("cliente", {
        "*Id_Cliente text(7)", "Nome text(50)", "Endereco text(30)", "Bairro text(20)", "Cep text(8)",
        "Numero_Endereco text(10)", "Telefone text(14)", "Telefax text(14)", "Endereco_Cobranca text(30)",
        "Bairro_Cobranca text(20)", "Cep_Cobranca text(8)", "Data_Cadastro date/time", "Id_Vendedor integer",
        "Percentual_Comissao double", "Bloqueto text(3)", "Percentual_Desconto double", "Tributado text(3)",
        "Bloqueado text(3)", "Email text(200)", "Observacao memo", "Id_Municipio integer", "CPF_CNPJ text(14)",
        "id_condicao_pagamento integer", "Id_Municipio_Cobranca integer", "Natureza text(10)",
        "Numero_Endereco_Cobranca text(10)", "Limite_Credito double", "Juros_Mora double", "Website text(255)",
        "IE_RG text(20)", "Nome_Fantasia text(25)", "Dias_Protesto integer", "Inativo text(3)",
        "Endereco_Complemento text(25)", "Endereco_Cobranca_Complemento text(25)", "Faturamento_Minimo double"}));
    t.push_back(Table("produto", {
        "Descricao_Abreviada text(25)", "Descricao text(50)", "Quantidade_Estoque double", "Preco_Custo double",
        "Preco_Venda double", "Edita_Peca text(1)", "Id_Unidade_Medida text(3)", "Fator_Peso double",
        "Aliq_ICMS_Estadual double", "Id_CST_Estadual text(3)", "RBC_Estadual double",
        "Aliq_ICMS_Interestadual double", "Id_CST_Interestadual text(3)", "RBC_Interestadual double",
        "*Id_Produto text(5)", "Id_Produto_estrutura text(9)", "EAN text(14)", "Peso_Bruto double",
        "Peso_Liquido double", "Tipo text(10)", "Peca integer"}));
    t.push_back(Table("vendedor", {"*Id_Vendedor integer", "Nome text(40)", "Percentual_Comissao double",
                                   "email text(255)"}));
    t.push_back(Table("transportador", {
        "*Id_Transportador integer", "Nome text(40)", "Endereco text(30)", "Id_Municipio integer",
        "Natureza text(10)", "CPF_CNPJ text(14)", "Placa_Veiculo text(7)", "Modelo_Veiculo text(25)",
        "Cidade_Veiculo text(20)", "UF_Veiculo text(2)", "IE_RG text(14)"}));
    t.push_back(Table("cfop", {"*Id_CFOP text(4)", "Descricao text(50)", "Tipo text(7)"}));
    t.push_back(Table("situacao_tributaria", {"*Id_Situacao_Tributaria text(3)", "Descricao text(50)"}));
    t.push_back(Table("conta_corrente", {
        "*id_conta_corrente integer", "id_febraban integer", "agencia text(4)", "conta text(7)",
        "codigo_cedente text(30)", "descricao text(45)", "Inativo text(3)", "conta_dv text(2)"}));
    t.push_back(Table("condicao_pagamento", {"*id_condicao_pagamento integer", "descricao text(30)",
                                             "Inativo text(3)"}));
    t.push_back(Table("fornecedor", {
        "*Id_Fornecedor text(7)", "Nome text(50)", "Endereco text(30)", "Numero_Endereco text(10)",
        "Complemento_Endereco text(20)", "Bairro text(20)", "Cep text(8)", "cpf_cnpj text(14)",
        "Telefone text(14)", "Telefax text(14)", "Email text(200)", "Data_Cadastro date/time",
        "Id_Municipio integer", "Natureza text(10)", "Id_Condicao_Pagamento integer", "Observacao memo",
        "Inscricao_Estadual text(20)", "Website text(255)", "RG_IE text(20)"}));
    t.push_back(Table("emitente", {
        "Nome text(60)", "Nome_Fantasia text(25)", "Cnpj text(14)", "Inscricao_Estadual text(14)",
        "Inscricao_Estadual_ST text(14)", "Inscricao_Municipal text(16)", "Endereco text(50)", "Bairro text(30)",
        "Cep text(8)", "Telefone text(14)", "Telefax text(14)", "Arquivo_Logotipo text(255)",
        "Numero_Endereco text(50)", "Id_Municipio integer", "email text(255)", "website text(255)",
        "Id_Uf text(2)"}));
    {
        TableDef u = Table("usuario", {"*Id_Usuario text(20)", "Nome text(40)", "Senha text(20)", "Inativo text(3)"});
        u.columns[2].type = "text(" + std::to_string(kPasswordColumnSize) + ")";
        t.push_back(std::move(u));
    }
    t.push_back(Table("modelo_impressora", {"*Id_Modelo_Impressora text(20)", "Condensa_15cpp text(25)",
                                            "Impressao_Normal text(25)", "Condensa_20cpp text(20)"}));
    {
        // Wider than the original 30 characters, so no built-in description is cut.
        TableDef p = Table("programa", {"*Id_Programa text(15)", "Tipo text(15)", "Descricao text(30)"});
        p.columns[2].type = "text(" + std::to_string(kProgramDescriptionSize) + ")";
        t.push_back(std::move(p));
    }
    t.push_back(Table("opcao", {
        "Dias_Protesto smallint", "Juros_Mora double", "Numero_Proximo_Romaneio integer",
        "Pasta_NFe_Envio text(255)", "Pasta_NFe_Retorno text(255)", "Pasta_NFe_Arquivamento text(255)",
        "Pasta_NFe_Erro text(255)", "Arquivo_Certificado_Digital text(255)", "Id_CFOP text(4)",
        "Id_Unidade_Medida text(3)", "Id_Transportador integer", "Tipo_Impressao_DANFE text(15)",
        "Id_Vendedor integer", "Contabil text(3)", "Id_Cliente text(7)", "Id_Municipio integer",
        "Id_Condicao_Pagamento integer", "Id_Conta_Corrente integer", "Limite_Credito double",
        "pode_alterar_serie text(3)", "Id_Serie_Documento integer", "Ambiente text(15)", "copias_danfe integer",
        "Impressora_Danfe text(50)", "Impressora_Boleto text(50)", "Impressora_Promissoria text(50)",
        "Impressora_Romaneio text(50)", "Impressora_Relatorio text(50)", "IA_Danfe text(3)",
        "IA_Romaneio text(3)", "IA_Boleto text(3)", "IA_Promissoria text(3)"}));
    t.push_back(Table("titulo_receber", {
        "*Id_Titulo_Receber counter", "Id_Cliente text(7)", "Id_Nota_Fiscal integer", "Id_Conta_Corrente integer",
        "Id_Tipo_Moeda text(2)", "Id_Especie_Titulo text(2)", "Data_Documento date/time",
        "Data_Vencimento date/time", "Data_Desconto date/time", "Dias_Protesto smallint",
        "Percentual_Mora double", "Valor_Titulo double", "Valor_Desconto double", "Nosso_Numero text(11)",
        "Digito_Verificador text(1)", "Gerou_Arquivo text(3)", "Id_Serie_Documento integer",
        "Id_Instrucao_Bancaria1 text(2)", "Id_Instrucao_Bancaria2 text(2)"}));
    t.push_back(Table("serie_documento", {"*Id_Serie_Documento smallint", "Proximo_Numero integer"}));
    t.push_back(Table("unidade_medida", {"*Id_Unidade_Medida text(3)", "Descricao text(20)"}));
    t.push_back(Table("nota_fiscal", {
        "Id_Registro text(10)", "*Id_Nota_Fiscal integer", "*Id_Serie_Documento integer", "Id_Cliente text(7)",
        "Id_CFOP text(4)", "Id_Vendedor integer", "Id_Transportador integer", "Frete_Por_Conta text(12)",
        "Placa_Veiculo text(7)", "UF_Veiculo text(2)", "Data_Emissao date/time", "Data_Saida date/time",
        "Hora_Saida text(6)", "Valor_Base_Calculo double", "Valor_ICMS double", "Valor_BC_ICMS_ST double",
        "Valor_ICMS_ST double", "Valor_Produto double", "Valor_Frete double", "Valor_Seguro double",
        "Valor_Desconto double", "Valor_Outras_Despesas double", "Valor_IPI double", "Valor_Servicos double",
        "Valor_BC_ISS double", "Valor_ISS double", "Valor_PIS double", "Valor_Cofins double",
        "Valor_Total_Nota double", "Bloqueto text(3)", "Id_Conta_Corrente integer",
        "Motivo_Cancelamento_NF memo", "Tipo_Emissao text(12)", "Finalidade_Emissao text(15)",
        "Numero_NFe text(44)", "Digest_Value_NFe text(50)", "Protocolo_NFe text(50)",
        "Data_Protocolo_NFe date/time", "Id_Condicao_Pagamento integer", "Quantidade integer",
        "Especie text(5)", "Marca text(7)", "Peso_Bruto double", "Peso_Liquido double",
        "Status_Enviada text(3)", "Status_Autorizada text(3)", "Status_Cancelada text(3)",
        "Status_DANFE_Impressa text(3)", "Status_Erro text(3)", "DANFE_Impresso text(3)",
        "Situacao_NFE text(15)", "Tipo_Impressao_DANFE text(15)", "Forma_Pagamento text(30)",
        "Modalidade_Frete text(30)", "Erro_NFE memo", "Dados_Adicionais_Fisco memo",
        "Dados_Adicionais_Contribuinte memo", "Numero_Lote_NFE text(15)", "Recibo_NFE text(15)"}));
    t.push_back(Table("romaneio", {
        "*Id_Romaneio integer", "Id_Cliente text(7)", "Id_CFOP text(4)", "Id_Vendedor integer",
        "Id_Transportador integer", "Data_Emissao date/time", "Valor_Base_Calculo double", "Valor_ICMS double",
        "Id_Conta_Corrente integer", "Valor_Desconto double", "Observacao text(15)", "Status text(1)",
        "Valor_Total double", "Id_condicao_pagamento integer", "Valor_Produto double", "Valor_Frete double"}));
    t.push_back(Table("nota_fiscal_item", {
        "Id_Registro text(10)", "Id_Nota_Fiscal integer", "Id_Serie_Documento integer", "Id_Produto text(5)",
        "Id_Unidade_Medida text(3)", "Id_Situacao_Tributaria text(3)", "Quantidade double",
        "Valor_Unitario double", "Valor_Total double", "Id_CFOP text(4)", "Aliquota_icms double",
        "Valor_icms double"}));
    t.push_back(Table("romaneio_item", {
        "Id_Romaneio integer", "Id_Produto text(5)", "Id_Unidade_Medida text(3)",
        "Id_Situacao_Tributaria text(3)", "Quantidade double", "Valor_Unitario double", "Valor_Total double",
        "Id_CFOP text(4)", "Aliquota_icms double", "Valor_icms double"}));
    t.push_back(Table("condicao_pagamento_parcela", {"id_condicao_pagamento integer", "prazo_dias integer",
                                                     "percentual double"}));
    t.push_back(Table("usuario_programa", {"*id_usuario text(20)", "*id_programa text(15)"}));
    t.push_back(Table("usuario_log", {"id_usuario text(20)", "Id_programa text(15)", "Data date/time",
                                      "Hora text(10)", "Descricao memo"}));
    t.push_back(Table("municipio", {"*id_municipio integer", "nome text(60)", "id_uf integer"}));
    t.push_back(Table("uf", {"*id_uf integer", "uf text(2)"}));
    // The bank's logo file, as the bank-code form keeps it.
    static_assert(kBankNameSize == 160 && kBankShortNameSize == 60, "febraban's declared sizes below");
    t.push_back(Table("febraban", {"*id_febraban integer", "nome text(160)", "nome_fantasia text(60)",
                                   "arquivo_logotipo text(255)"}));
    t.push_back(Table("versao", {"versao text(10)"}));
    t.push_back(Table("pedido_venda", {
        "*Id_Pedido_Venda integer", "Id_Cliente text(7)", "Id_Vendedor integer", "Data_Emissao date/time",
        "Id_Condicao_Pagamento integer", "Valor_Total double", "Observacao memo"}));
    return t;
}

}  // namespace

const std::vector<TableDef>& CurrentSchema() {
    static const std::vector<TableDef> schema = BuildSchema();
    return schema;
}

const TableDef* FindTable(const std::string& name) {
    for (const TableDef& t : CurrentSchema()) {
        if (sqlite::CompareText(t.name, name) == 0) return &t;
    }
    return nullptr;
}

const std::vector<ProgramDef>& BuiltInPrograms() {
    // Upper case, as the upgrade writes its codes; the database finds them
    // by the menu's mixed-case keys ("Nota100") all the same.
    static const std::vector<ProgramDef> programs = {
        {"NOTA100", "Cadastro", "Cadastro de Clientes"},
        {"NOTA101", "Cadastro", "Cadastro de Produtos"},
        {"NOTA102", "Cadastro", "Cadastro de Vendedores"},
        {"NOTA103", "Cadastro", "Cadastro de Transportadoras"},
        {"NOTA104", "Cadastro", "Cadastro de CFOP"},
        {"NOTA106", "Cadastro", "Situação Tributária"},
        {"NOTA107", "Cadastro", "Contas Corrente"},
        {"NOTA108", "Cadastro", "Condições de Pagamento"},
        {"NOTA110", "Cadastro", "Cadastro do Emitente"},
        {"NOTA111", "Cadastro", "Cadastro de Usuários"},
        {"NOTA114", "Cadastro", "Cadastro de Programas"},
        {"NOTA115", "Rotina", "Opções do Sistema"},
        {"NOTA118", "Cadastro", "Série de Documentos"},
        {"NOTA119", "Cadastro", "Unidades de Medida"},
        {"NOTA200", "Rotina", "Lançamento de NF-e"},
        {"NOTA201", "Rotina", "Lançamento de Romaneio"},
        {"NOTA220", "Rotina", "Login no Sistema"},
        {"NOTA221", "Relatório", "Log de Usuário"},
        {"NOTA223", "Rotina", "Alteração de Senha"},
        {"NOTA224", "Rotina", "Bloqueio do Aplicativo"},
        {"NOTA225", "Rotina", "Manutenção Manual (Master)"},
        {"NOTA230", "Rotina", "Verifica Status Serviço NF-e"},
        {"NOTA231", "Rotina", "Inutiliza Faixa de Numeração NF-e"},
        {"NOTA232", "Rotina", "Gerenciamento de NF-e"},
        {"NOTA233", "Rotina", "Arquivo Contábil"},
        {"NOTA300", "Relatório", "Relatório de Clientes"},
        {"NOTA301", "Relatório", "Relatório de Produtos"},
        {"NOTA403", "Relatório", "Notas Fiscais Emitidas"},
        {"NOTA409", "Relatório", "Resumo de Vendas por Grupo"},
    };
    return programs;
}

void EnsureKeyReservationTable(sqlite::Database& db) {
    db.Exec(sqlite::CreateTableSql(kKeyReservationTable,
                                   {{"tabela", "text(64)", true, true}, {"coluna", "text(64)", true, true},
                                    {"valor", "integer", true, true}},
                                   true));
}

void EnsureVoidedRangeTable(sqlite::Database& db) {
    db.Exec(sqlite::CreateTableSql(kVoidedRangeTable,
                                   {{"id_serie_documento", "integer", true, true},
                                    {"numero_inicial", "integer", true, true},
                                    {"numero_final", "integer", true, true},
                                    {"protocolo", "text(50)"},
                                    {"data_protocolo", "date/time"}},
                                   true));
}

void CreateSchema(sqlite::Database& db) {
    sqlite::Transaction tr(db);
    for (const TableDef& t : CurrentSchema()) db.Exec(sqlite::CreateTableSql(t.name, t.columns));
    EnsureKeyReservationTable(db);
    EnsureLoginFailureTable(db);
    EnsureVoidedRangeTable(db);
    CreateIndexes(db);
    for (const ProgramDef& p : BuiltInPrograms()) {
        db.Execute("insert into programa(id_programa, Tipo, Descricao) values(:pid_programa, :ptipo, :pdescricao)",
                   {"pid_programa", "ptipo", "pdescricao"},
                   {std::string(p.id), std::string(p.tipo), std::string(p.descricao)});
    }
    db.Execute("insert into versao(versao) values(:pversao)", {"pversao"}, {std::string(kSchemaVersion)});
    tr.Commit();
}

namespace {

// The files a creation works in: ".<name>.novo-<pid>-XXXXXX" (made as
// mkstemp makes its files) and its journal. The process id in the name
// never tells whether its writer still runs: in a shared folder it may run
// on another machine, or in another pid namespace, where the same id means
// someone else, or nobody. What tells is what every machine sees (fileio::ClaimAbandoned): the
// writer holds a lock on its file from before its first byte until the file
// has its name, and a file abandoned has not changed for a day.
std::string CreationPrefix(const std::filesystem::path& target) { return "." + target.filename().string() + ".novo-"; }

// The writer's lock lies on the file's first byte, which the engine never
// locks (its own locks lie a gigabyte in): the lock and the engine's own
// never meet, and whoever judges the file wants the whole of it.
constexpr long kCreatorLockStart = 0;
constexpr long kCreatorLockLength = 1;

const char* const kJournalSuffix = "-journal";

bool EndsWith(const std::string& s, const std::string& tail) {
    return s.size() >= tail.size() && s.compare(s.size() - tail.size(), tail.size(), tail) == 0;
}

[[noreturn]] void CannotCreate(const std::string& path, int err) {
    std::string lead = err == EACCES || err == EPERM || err == EROFS
                           ? "O banco de dados está em uma pasta somente leitura; não foi possível criar o arquivo."
                           : "Não foi possível criar o Banco de Dados.";
    throw EOSError(lead + "\r\nArquivo: \"" + path + "\"\r\n\r\nMensagem do sistema: " +
                   fileio::SystemMessagePtBr(err));
}

}  // namespace

void RemoveDeadCreations(const std::string& path) {
    namespace fs = std::filesystem;
    fs::path target(path);
    fs::path folder = target.has_parent_path() ? target.parent_path() : fs::path(".");
    const std::string prefix = CreationPrefix(target);
    std::error_code ec;
    std::vector<std::string> files, journals;
    for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
        std::string name = it->path().filename().string();
        if (fileio::WriterOf(name, prefix) <= 0) continue;
        (EndsWith(name, kJournalSuffix) ? journals : files).push_back(it->path().string());
    }
    struct stat database {};
    const bool haveDatabase = ::stat(path.c_str(), &database) == 0 && S_ISREG(database.st_mode);
    for (const std::string& file : files) {
        struct stat st {};
        if (::lstat(file.c_str(), &st) != 0) continue;
        // Killed between giving the file its name and dropping its own: a
        // second name of the database itself, no half-made copy; the data
        // stay under the database's name.
        if (haveDatabase && S_ISREG(st.st_mode) && st.st_dev == database.st_dev && st.st_ino == database.st_ino) {
            ::unlink(file.c_str());
            continue;
        }
        int fd = fileio::ClaimAbandoned(file);
        if (fd < 0) continue;
        // Its journal goes with it, and first: a journal never stands
        // without its database while the database is being made.
        ::unlink((file + kJournalSuffix).c_str());
        ::unlink(file.c_str());
        ::close(fd);
    }
    // A journal whose database is gone was left by a creation killed while
    // it dropped its files; one whose database is still there is judged
    // with it above.
    for (const std::string& journal : journals) {
        const std::string file = journal.substr(0, journal.size() - std::strlen(kJournalSuffix));
        struct stat st {};
        if (::lstat(file.c_str(), &st) == 0 || errno != ENOENT) continue;
        int fd = fileio::ClaimAbandoned(journal);
        if (fd < 0) continue;
        ::unlink(journal.c_str());
        ::close(fd);
    }
}

bool CreateDatabaseFile(const std::string& path) {
    namespace fs = std::filesystem;
    fs::path target(path);
    fs::path folder = target.has_parent_path() ? target.parent_path() : fs::path(".");
    // A program killed while it made this file left its half-made copy
    // under its own name, never at the target; it goes once provably
    // abandoned.
    RemoveDeadCreations(path);
    // A name nobody uses, made here and locked before the engine writes a
    // byte: another program's file (the same process id in another pid
    // namespace) is never taken over nor removed.
    const std::string pattern =
        (folder / (CreationPrefix(target) + std::to_string(::getpid()) + "-XXXXXX")).string();
    std::string temp;
    int lockFd = -1;
    for (int attempt = 0; lockFd < 0; ++attempt) {
        std::vector<char> name(pattern.begin(), pattern.end());
        name.push_back('\0');
        int fd = fileio::KeepOffStandardSlots(::mkostemp(name.data(), O_CLOEXEC));
        if (fd < 0) CannotCreate(path, errno);
        struct stat st {};
        if (::lstat((std::string(name.data()) + kJournalSuffix).c_str(), &st) == 0) {
            // Someone else's journal stands at our journal's name.
            ::unlink(name.data());
            ::close(fd);
            if (attempt == 100) CannotCreate(path, EEXIST);
            continue;
        }
        temp = name.data();
        // Private from its first byte, whatever it will hold.
        ::fchmod(fd, fileio::PrivateFileMode(temp));
        // A file system that keeps no locks cannot tell anyone; the age
        // still keeps the file from being taken for a leftover.
        (void)fileio::TakeWriterLock(fd, kCreatorLockStart, kCreatorLockLength);
        lockFd = fd;
    }
    std::error_code ec;
    auto dropTemp = [&] {
        // The journal first: our file's name, still ours, covers it.
        fs::remove(temp + kJournalSuffix, ec);
        fs::remove(temp, ec);
        if (lockFd >= 0) ::close(lockFd);
        lockFd = -1;
    };
    try {
        sqlite::OpenOptions options;
        options.create = true;
        sqlite::Database db(temp, options);
        CreateSchema(db);
        // A new database is ready for the registers: states, municipalities
        // and banks are there before the file takes its name.
        SeedReferenceTables(db);
        db.Close();
    } catch (...) {
        dropTemp();
        throw;
    }
    // The engine has let the file go: the lock's descriptor may close now
    // without touching anyone's locks on the file once it has its name.
    ::close(lockFd);
    lockFd = -1;
    // link() refuses an existing target: a database another instance made
    // in the meantime wins, and ours is dropped.
    bool created = ::link(temp.c_str(), path.c_str()) == 0;
    int err = errno;
    if (!created && err != EEXIST && !fs::exists(path, ec)) {
        // File systems without hard links: a plain rename, the target
        // having just been seen missing.
        fs::rename(temp, path, ec);
        created = !ec;
        err = ec.value();
    }
    dropTemp();
    if (!created && err != EEXIST) CannotCreate(path, err);
    return created;
}

}  // namespace billing::data
