#include "billing/data/dmdbu.h"

#include "billing/data/MemoryTable.h"
#include "billing/data/Schema.h"
#include "cipher/CxCipher.h"
#include "platform/db/SQLiteDatabase.h"
#include "platform/os/Printers.h"
#include "platform/os/Process.h"
#include "platform/rtl/DateUtils.h"
#include "platform/rtl/Format.h"
#include "platform/rtl/IniFiles.h"
#include "platform/rtl/Strings.h"

#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <limits>
#include <memory>
#include <chrono>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

Tdmdb* dmdb = nullptr;

using billing::data::MessageIcon;
using billing::data::Messages;

namespace fs = std::filesystem;

const char* const Tdmdb::kDesignConnectionString =
    "Provider=SQLite;Password=;User ID=Admin;Data Source=faturamento.db;Mode=Share Deny None;"
    "Extended Properties=;Persist Security Info=True";

namespace {

// Table and column names are part of the SQL text, so only plain names
// (optionally "table.column") get there; values are always parameters.
void CheckIdentifier(const std::string& name) {
    bool ok = !name.empty();
    bool atStart = true;
    for (char c : name) {
        bool letter = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_';
        bool digit = c >= '0' && c <= '9';
        if (c == '.' && !atStart) {
            atStart = true;
            continue;
        }
        if (!(letter || (digit && !atStart))) {
            ok = false;
            break;
        }
        atStart = false;
    }
    if (!ok || atStart) throw EDatabaseError("Nome de tabela ou coluna inválido: \"" + name + "\"");
}

// A Data Source value that the connection string reads back unchanged.
std::string ConnectionValue(const std::string& value) {
    bool plain = value.find_first_of(";\"'") == std::string::npos && (value.empty() ||
                 (value.front() != ' ' && value.back() != ' '));
    if (plain) return value;
    std::string quoted = "\"";
    for (char c : value) {
        if (c == '"') quoted += '"';
        quoted += c;
    }
    return quoted + "\"";
}

// Wide enough for any name the program uses; a longer one is refused, never
// cut (bytes are counted, so a name that passes always fits whole).
constexpr int kVarNameSize = 255;

bool FitsVarName(const std::string& name) {
    return name.size() <= static_cast<std::size_t>(kVarNameSize);
}

std::string ValueText(const sqlite::Statement& st, int col) {
    return st.ColumnIsNull(col) ? std::string() : st.ColumnText(col);
}

// An INI file name that is the program itself (or any program), or a
// database, must never be written: a first argument naming the executable
// or the database file would destroy it.
bool IsProgramOrDatabaseFile(const std::string& path) {
    std::error_code ec;
    std::string self = billing::data::AppFiles::CurrentExecutable();
    if (!self.empty() && fs::exists(path, ec) && fs::equivalent(path, self, ec)) return true;
    // Only a regular file is looked into: a pipe at the name would hold
    // the open until another program wrote into it.
    int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return false;
    struct stat st {};
    char magic[16] = {};
    ssize_t got = 0;
    if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode)) got = ::read(fd, magic, sizeof magic);
    ::close(fd);
    if (got >= 4 && std::memcmp(magic, "\x7f" "ELF", 4) == 0) return true;
    if (got == 16 && std::memcmp(magic, "SQLite format 3", 16) == 0) return true;
    return false;
}

}  // namespace

Tdmdb::Tdmdb(TComponent* AOwner) : TComponent(AOwner) {
    SetName("dmdb");
    tbEmitente = billing::data::NewMemoryTable(this, "tbEmitente", {{"Nome", 50}, {"CNPJ", 14}, {"IE", 15}});
    ADOConnection = new TSQLConnection(this);
    ADOConnection->SetName("ADOConnection");
    ADOConnection->SetLoginPrompt(false);
    ADOConnection->SetConnectionString(kDesignConnectionString);
    qryCuringa = new TSQLQuery(this);
    qryCuringa->SetName("qryCuringa");
    qryCuringa->SetConnection(ADOConnection);
    DataModuleCreate();
}

Tdmdb::~Tdmdb() {
    if (dmdb == this) dmdb = nullptr;
}

void Tdmdb::DataModuleCreate() {
    // The value is a text of any length: a long folder path is kept whole.
    if (!tbVar)
        tbVar = billing::data::NewMemoryTable(this, "tbVar", {{"id_variable", kVarNameSize}, {"value", 0}});
    if (!tbVar->Active()) tbVar->Open();
}

// ---------------------------------------------------------------------------
// Variables and the INI file

void Tdmdb::Set_Var(const std::string& Name, const std::string& Value) {
    std::string name = AnsiLowerCase(Name);
    // Cut to the column's width, two long names sharing their start would be
    // one variable, and setting one would overwrite the other.
    if (!FitsVarName(name))
        throw EDatabaseError("Nome de variável longo demais (" + std::to_string(kVarNameSize) +
                             " bytes no máximo): \"" + name + "\"");
    if (tbVar->Locate("id_variable", name, {})) tbVar->Edit();
    else tbVar->Append();
    tbVar->FieldByName("id_variable")->SetAsString(name);
    tbVar->FieldByName("value")->SetAsString(Value);
    tbVar->Post();
}

std::string Tdmdb::Get_Var(const std::string& Name) {
    std::string name = AnsiLowerCase(Name);
    if (FitsVarName(name) && tbVar->Locate("id_variable", name, {})) return tbVar->FieldByName("value")->AsString();
    Messages().MessageBox("Erro Interno do sistema, a variável de ambiente \"" + name + "\" não foi encontrada.",
                          "Erro", MessageIcon::Exclamation);
    return {};
}

bool Tdmdb::VarExists(const std::string& Name) {
    std::string name = AnsiLowerCase(Name);
    return FitsVarName(name) && tbVar->Locate("id_variable", name, {});
}

void Tdmdb::Arquivo_Ini(const std::string& Mode) {
    std::string iniName = Get_Var("nome_arquivo_ini");
    std::string database = Get_Var("nome_banco_dados");
    std::string user = Get_Var("Id_Usuario");
    std::string mode = AnsiLowerCase(Mode);
    if (mode == "salva" && IsProgramOrDatabaseFile(iniName))
        throw EIniFileException("O arquivo de configuração \"" + iniName +
                                "\" é um programa ou um banco de dados e não será alterado.");
    std::unique_ptr<TMemIniFile> read;
    try {
        read = std::make_unique<TMemIniFile>(iniName);
    } catch (const EFOpenError& e) {
        // A pipe, a device or a folder at the name is never waited on nor
        // written through: the clerk learns which file it is, and the
        // settings in use stay.
        if (mode == "salva")
            throw EIniFileException("Não foi possível gravar o arquivo de configuração \"" + iniName + "\".\r\n\r\n" +
                                    e.Message());
        if (mode == "le") {
            iniReadProblem_ = "Não foi possível ler o arquivo de configuração \"" + iniName + "\". " + e.Message() +
                              "\r\nContinuam valendo as configurações lidas por último.";
            billing::data::Messages().MessageBox(iniReadProblem_, "Atenção", billing::data::MessageIcon::Exclamation);
        }
        return;
    }
    TMemIniFile& ini = *read;
    if (mode == "le") {
        database = ini.ReadString("Database", "Database", database);
        user = ini.ReadString("Database", "User", user);
        Set_Var("nome_banco_dados", database);
        Set_Var("id_usuario", user);
    } else if (mode == "salva") {
        // A settings file in a read-only folder (an INI given on the command
        // line beside a database kept elsewhere) cannot be replaced: said in
        // the clerk's words, before any attempt.
        fs::path folder = fs::path(iniName).has_parent_path() ? fs::path(iniName).parent_path() : fs::path(".");
        if (!Writable(folder.string()) || (fs::exists(iniName) && !Writable(iniName)))
            throw EIniFileException("Não foi possível gravar o arquivo de configuração \"" + iniName +
                                    "\".\r\n\r\nA pasta \"" + folder.string() +
                                    "\" é somente leitura. O banco de dados e o usuário escolhidos não serão "
                                    "lembrados na próxima vez que o programa for aberto.");
        ini.WriteString("Database", "Database", database);
        ini.WriteString("Database", "User", user);
        try {
            ini.UpdateFile();
        } catch (const Exception& e) {
            throw EIniFileException("Não foi possível gravar o arquivo de configuração \"" + iniName + "\".\r\n\r\n" +
                                    e.Message());
        }
    }
}

void Tdmdb::SalvaIniAvisandoUmaVez() {
    try {
        Arquivo_Ini("Salva");
    } catch (const EIniFileException& e) {
        // Only the next start's proposal is lost: told once a session, the
        // work goes on.
        if (iniRefusalTold_) return;
        iniRefusalTold_ = true;
        billing::data::Messages().MessageBox(e.Message(), "Atenção", billing::data::MessageIcon::Exclamation);
    }
}

std::string Tdmdb::IniValue(const std::string& Section, const std::string& Key, const std::string& Default) {
    return IniValues(Section, {{Key, Default}}).front();
}

std::vector<std::string> Tdmdb::IniValues(const std::string& Section,
                                          const std::vector<std::pair<std::string, std::string>>& Keys) {
    std::vector<std::string> values;
    std::string iniName = Get_Var("nome_arquivo_ini");
    if (iniName.empty()) {
        for (const auto& [key, def] : Keys) values.push_back(def);
        return values;
    }
    auto remembered = [&Section](const std::string& key) { return AnsiUpperCase(Section + "\n" + key); };
    std::unique_ptr<TMemIniFile> read;
    try {
        read = std::make_unique<TMemIniFile>(iniName);
    } catch (const Exception& e) {
        // Reread every few seconds by the answer timer: what cannot be read
        // now neither holds the program nor takes it back to the defaults.
        iniReadProblem_ = "Não foi possível ler o arquivo de configuração \"" + iniName + "\". " + e.Message() +
                          "\r\nContinuam valendo as configurações lidas por último.";
        for (const auto& [key, def] : Keys) {
            auto it = iniLastRead_.find(remembered(key));
            values.push_back(it != iniLastRead_.end() ? it->second : def);
        }
        return values;
    }
    iniReadProblem_.clear();
    TMemIniFile& ini = *read;
    bool missing = false;
    for (const auto& [key, def] : Keys) {
        if (ini.ValueExists(Section, key)) {
            values.push_back(ini.ReadString(Section, key, def));
            iniLastRead_[remembered(key)] = values.back();
        } else {
            values.push_back(def);
            ini.WriteString(Section, key, def);
            missing = true;
        }
    }
    if (missing && !IsProgramOrDatabaseFile(iniName)) {
        try {
            ini.UpdateFile();
        } catch (const Exception&) {
            // A read-only settings file still gives the defaults, as before.
        }
    }
    return values;
}

void Tdmdb::LoadStartupFiles(const billing::data::AppFiles& Files) {
    Files.EnsureFolders();
    Set_Var("nome_arquivo_ini", Files.IniFileName());
    Set_Var("nome_banco_dados", Files.DatabaseFileName());
    Set_Var("id_usuario", "");
    Set_Var("mascara_produto", "#.##.###.###;0; ");
    std::error_code ec;
    if (!fs::exists(Files.IniFileName(), ec)) {
        // The first start: the default database is made now, so that the
        // login finds it. Before the INI, so that a start that fails here
        // is a first start again next time.
        bool ready = true;
        if (!fs::exists(Files.DatabaseFileName(), ec)) {
            try {
                billing::data::CreateDatabaseFile(Files.DatabaseFileName());
            } catch (const Exception& e) {
                // A full or failing disk: the clerk is told, the program goes
                // on to the login (which offers the chooser) and the next
                // start tries again.
                ready = false;
                billing::data::Messages().MessageBox("Não foi possível criar o Banco de Dados \"" +
                                                         Files.DatabaseFileName() + "\".\r\n\r\n" + e.Message(),
                                                     "Erro", billing::data::MessageIcon::Error);
            }
        }
        if (ready) Arquivo_Ini("Salva");
    }
    Set_Var("nome_aplicativo", "Quillmar OSKE " + VersaoAplicativo() + " [Faturamento]");
    Arquivo_Ini("Le");
}

// ---------------------------------------------------------------------------
// Opening, upgrade, initialisation, compaction

const char* const Tdmdb::kWaitingForOtherUser =
    "Outro usuário está gravando no Banco de Dados neste momento e esta operação aguarda que ele termine.\r\n\r\n"
    "Deseja continuar aguardando? Não desiste desta operação, sem gravar nada.";

void Tdmdb::AskWhileWaiting() { ADOConnection->SetOnBusy(WaitForOtherUsers()); }

std::function<bool(int, int)> Tdmdb::WaitForOtherUsers() {
    using Clock = std::chrono::steady_clock;
    // The wait is shown soon, and asked again every few seconds: never a
    // window frozen for the whole busy time.
    auto ask = std::make_shared<Clock::time_point>();
    return [ask](int Calls, int) {
        Clock::time_point now = Clock::now();
        if (Calls == 0) *ask = now + std::chrono::milliseconds(kFirstWaitQuestionMs);
        if (now < *ask) return true;
        bool more = billing::data::Messages().Confirm(kWaitingForOtherUser, "Aguardando o Banco de Dados");
        *ask = Clock::now() + std::chrono::seconds(5);
        return more;
    };
}

namespace {

// What a damaged file shows: the sentence the engine's own refusal gives,
// the file, and what was found.
std::string NotOurDatabase(const std::string& Path, const std::string& Found) {
    return "O arquivo não é um banco de dados válido ou está danificado.\r\nArquivo: \"" + Path +
           "\"\r\n\r\nO arquivo não foi alterado: " + Found + ".";
}

}  // namespace

bool Tdmdb::Writable(const std::string& Path) const {
    if (CanWrite) return CanWrite(Path);
    return ::access(Path.c_str(), W_OK) == 0;
}

void Tdmdb::CheckDatabaseFile(const std::string& Path) const {
    // A new database is made only on purpose (the first start, the
    // chooser): an empty one in place of a lost file would look like the
    // data were gone.
    std::error_code ec;
    // A pipe, a device, a folder or a link to nothing at the name: said for
    // what it is, never left to the engine's "unable to open database file"
    // nor taken for a missing file.
    if (std::string obstacle = sqlite::DatabaseObstacle(Path); !obstacle.empty())
        throw EDatabaseError(sqlite::DatabaseObstacleMessage(Path, obstacle, "não pode ser aberto"));
    if (Path.empty() || !fs::exists(Path, ec))
        throw EDatabaseError("O Banco de Dados \"" + Path + "\" não foi encontrado.");
    if (fs::is_regular_file(Path, ec) && fs::file_size(Path, ec) == 0 && !ec)
        throw ESQLiteError(NotOurDatabase(Path, "o arquivo está vazio (0 bytes)"), 26 /* SQLITE_NOTADB */);
    // The engine's own journal is always a plain file. Anything else at its
    // name (a link, a pipe or a device another user or a tool left there)
    // makes every open fail with "unable to open database file", which
    // names neither the cause nor the file: both are said here, and the file
    // is not touched. Looked for where the engine keeps it: beside the file
    // a link leads to.
    if (std::string obstacle = sqlite::JournalObstacle(Path); !obstacle.empty())
        throw EDatabaseError(
            sqlite::JournalObstacleMessage(Path, obstacle, "não pode ser aberto", "abra o Banco de Dados novamente"));
    // The engine would open it and fail at the first write, half-way
    // through the upgrade, with a message no user could act on. Its
    // journal goes beside the file a link leads to: that folder it is.
    fs::path file = sqlite::EngineFileName(Path);
    std::string folder = file.parent_path().string();
    if (!Writable(Path))
        throw EDatabaseError("O Banco de Dados \"" + Path + "\" é um arquivo somente leitura: o programa não pode "
                             "gravar nele. Peça permissão de escrita no arquivo ao administrador do computador, ou "
                             "copie-o para uma pasta sua e escolha a cópia.");
    if (!Writable(folder))
        throw EDatabaseError("O Banco de Dados \"" + Path + "\" está numa pasta somente leitura (\"" + folder +
                             "\"): o programa não pode gravar nela. Peça permissão de escrita na pasta ao "
                             "administrador do computador, ou copie o Banco de Dados para uma pasta sua e escolha a "
                             "cópia.");
}

void Tdmdb::StatusText(int Panel, const std::string& Text) {
    if (OnStatusText) OnStatusText(this, Panel, Text);
}

bool Tdmdb::Abrir_Banco_Dados() {
    std::string path = Get_Var("nome_banco_dados");
    ADOConnection->Close();
    std::string s = ADOConnection->ConnectionString();
    std::size_t p1 = s.find(";Data Source=");
    std::size_t p2 = s.find(";Persist Security");
    if (p1 != std::string::npos && p2 != std::string::npos && p2 > p1) {
        s = s.substr(0, p1 + 1) + "Data Source=" + ConnectionValue(path) + s.substr(p2);
    } else {
        Messages().ShowMessage("Erro Fatal - Não foi possível abrir o Banco de Dados");
    }
    ADOConnection->SetConnectionString(s);

    CheckDatabaseFile(ADOConnection->DatabaseName());
    ADOConnection->Open();
    {
        // A file without the program's tables (emptied by a failing disk or
        // a tool, or another program's database) is reported as damaged and
        // left as it is: made into a new database it would look as if the
        // data were gone, and it would let the built-in Admin in.
        sqlite::Database& db = ADOConnection->Database();
        sqlite::Statement st(db, "select count(*) from sqlite_master where type = 'table' and name = 'versao'");
        bool ours = st.Step() && st.ColumnInt64(0) > 0;
        st.Reset();
        if (!ours) {
            ADOConnection->Close();
            throw ESQLiteError(NotOurDatabase(ADOConnection->DatabaseName(),
                                              "o arquivo não contém as tabelas do Faturamento"),
                               26 /* SQLITE_NOTADB */);
        }
    }
    // A first start killed while it made this database left its half-made
    // copy beside it, and no creation runs here again: every open clears
    // what is provably abandoned by then.
    billing::data::RemoveDeadCreations(ADOConnection->DatabaseName());
    StatusText(1, " " + AnsiLowerCase(path));
    Mostra_Emitente();
    Database_Update();
    Inicia_Banco_Dados();
    if (AfterOpenDatabase) AfterOpenDatabase(this);
    return true;
}

bool Tdmdb::Fechar_Banco_Dados() {
    ADOConnection->Close();
    return true;
}

bool Tdmdb::Compactar_Banco_Dados() {
    compactError_.clear();
    std::string path = Get_Var("nome_banco_dados");
    try {
        if (ADOConnection->Connected())
            throw Exception("O Banco de Dados precisa estar fechado para ser compactado.");
        std::error_code ec;
        if (!fs::exists(path, ec)) throw Exception("O Banco de Dados \"" + path + "\" não foi encontrado.");
        // In place, under the engine's own journal: the file keeps its path
        // and inode (other instances that hold it stay consistent) and a
        // failure at any point leaves it as it was.
        sqlite::OpenOptions options;
        options.busyTimeoutMs = 2000;
        sqlite::Database db(path, options);
        db.Exec("VACUUM");
        return true;
    } catch (const Exception& e) {
        compactError_ = "Não foi possível compactar o Banco de Dados: " + e.Message();
        return false;
    }
}

void Tdmdb::Mostra_Emitente() {
    sqlite::Database& db = ADOConnection->Database();
    std::string nome;
    {
        // The usual case, read without the write lock: a log-in never waits
        // for another clerk's save.
        sqlite::Statement st(db, "select nome from emitente");
        if (st.Step()) {
            nome = ValueText(st, 0);
            st.Reset();
            Set_Var("nome_emitente", nome);
            StatusText(3, nome);
            return;
        }
    }
    // Under the write lock, so that two instances opening a new file at
    // once make one issuer row.
    ADOConnection->BeginTrans();
    try {
        sqlite::Statement st(db, "select nome from emitente");
        if (st.Step()) {
            nome = ValueText(st, 0);
        } else {
            nome = "Quillmar Tecnologia em Informática Ltda";
            db.Execute("insert into emitente(nome, nome_fantasia, id_municipio) values(:pnome, :pnome_fantasia, "
                       ":pid_municipio)",
                       {"pnome", "pnome_fantasia", "pid_municipio"},
                       {nome, std::string("Quillmar"), std::int64_t{4106902}});
        }
        ADOConnection->CommitTrans();
    } catch (...) {
        ADOConnection->RollbackTrans();
        throw;
    }
    Set_Var("nome_emitente", nome);
    StatusText(3, nome);
}

void Tdmdb::Database_Update() {
    lastUpgrade_ = billing::data::UpgradeSchema(ADOConnection->Database());
}

void Tdmdb::Inicia_Banco_Dados() {
    sqlite::Database& db = ADOConnection->Database();
    std::string senha = Criptografa("TRUVE");
    // Read first: a database that has both (every open but the first)
    // needs no write lock, so a log-in never waits for another clerk's save.
    auto present = [&db](const char* sql) {
        sqlite::Statement st(db, sql);
        return st.Step() && st.ColumnInt64(0) > 0;
    };
    if (present("select count(*) from usuario where id_usuario = 'Admin'") && present("select count(*) from opcao")) {
        LoadNFeVariables();
        return;
    }
    ADOConnection->BeginTrans();
    try {
        bool hasAdmin;
        {
            sqlite::Statement st(db, "select * from usuario where id_usuario = :pid_usuario");
            st.BindText(1, "Admin");
            hasAdmin = st.Step();
        }
        if (!hasAdmin) {
            db.Execute("insert into usuario(id_usuario, nome, senha, Inativo) values(\"Admin\", \"Admin\", :pSenha, "
                       "\"Não\")",
                       {"psenha"}, {senha});
        }
        bool hasSettings;
        {
            sqlite::Statement st(db, "select count(*) from opcao");
            hasSettings = st.Step() && st.ColumnInt64(0) > 0;
        }
        if (!hasSettings)
            db.Execute("insert into opcao(tipo_impressao_danfe) values(:ptipo)", {"ptipo"}, {std::string("Retrato")});
        ADOConnection->CommitTrans();
    } catch (...) {
        ADOConnection->RollbackTrans();
        throw;
    }
    LoadNFeVariables();
}

void Tdmdb::LoadNFeVariables() {
    sqlite::Statement st(ADOConnection->Database(),
                         "select pasta_nfe_envio, pasta_nfe_retorno, pasta_nfe_arquivamento, pasta_nfe_erro, "
                         "ambiente from opcao limit 1");
    if (st.Step()) {
        static const char* const names[] = {"pasta_nfe_envio", "pasta_nfe_retorno", "pasta_nfe_arquivamento",
                                            "pasta_nfe_erro", "ambiente"};
        for (int i = 0; i < 5; ++i) Set_Var(names[i], ValueText(st, i));
    }
}

void Tdmdb::ZeraBancoDados() {
    static const char* const tables[] = {"nota_fiscal", "romaneio", "pedido_venda", "produto", "cliente",
                                         "transportador", "vendedor", "situacao_tributaria", "cfop",
                                         "condicao_pagamento", "conta_corrente", "emitente", "titulo_receber",
                                         "unidade_medida"};
    // All or nothing: a failure half-way must not leave some tables emptied.
    ADOConnection->BeginTrans();
    try {
        for (const char* t : tables) ADOConnection->Execute(std::string("delete from ") + t);
        ADOConnection->CommitTrans();
    } catch (...) {
        ADOConnection->RollbackTrans();
        throw;
    }
}

// ---------------------------------------------------------------------------
// Shared data services

std::string Tdmdb::dbGetFieldValue(const std::string& KeyField, const Variant& KeyValue, const std::string& Field,
                                   const std::string& Table) {
    CheckIdentifier(KeyField);
    CheckIdentifier(Field);
    CheckIdentifier(Table);
    TSQLQuery q(nullptr);
    q.SetConnection(ADOConnection);
    q.SetSQL("select " + Field + " from " + Table + " where " + KeyField + " = :PValue");
    q.ParamByName("PValue")->SetValue(KeyValue);
    q.Open();
    std::string result = "?";
    if (!q.IsEmpty()) {
        q.First();
        result = q.Fields()->Fields(0)->AsString();
    }
    q.Close();
    return result;
}

bool Tdmdb::JaExisteChave(const std::vector<Variant>& Values, const std::vector<std::string>& Fields,
                          const std::string& Table) {
    if (Fields.empty() || Values.size() != Fields.size())
        throw EDatabaseError("JaExisteChave: o número de valores difere do número de colunas");
    CheckIdentifier(Table);
    std::string where;
    for (std::size_t i = 0; i < Fields.size(); ++i) {
        CheckIdentifier(Fields[i]);
        if (i > 0) where += " and ";
        where += Fields[i] + " = :p" + std::to_string(i);
    }
    TSQLQuery q(nullptr);
    q.SetConnection(ADOConnection);
    q.SetSQL("select " + Fields[0] + " from " + Table + " where " + where);
    for (std::size_t i = 0; i < Values.size(); ++i) q.ParamByName("p" + std::to_string(i))->SetValue(Values[i]);
    q.Open();
    bool found = q.RecordCount() > 0;
    q.Close();
    return found;
}

void Tdmdb::Id_Generator(const std::string& Field, const std::string& Table, TDataSet* DataSet) {
    CheckIdentifier(Field);
    CheckIdentifier(Table);
    sqlite::Database& db = ADOConnection->Database();
    std::int64_t next = 1;
    ADOConnection->BeginTrans();
    try {
        billing::data::EnsureKeyReservationTable(db);
        std::int64_t stored = 0;
        {
            sqlite::Statement st(db, "select max(" + Field + ") as id_max from " + Table);
            if (st.Step() && !st.ColumnIsNull(0)) {
                sqlite::Value v = st.ColumnValue(0);
                if (auto* i = std::get_if<std::int64_t>(&v)) stored = *i;
                else if (auto* d = std::get_if<double>(&v)) stored = static_cast<std::int64_t>(*d);
                else stored = StrToInt64(Trim(st.ColumnText(0)));
            }
        }
        std::vector<std::string> names = {"ptabela", "pcoluna", "pvalor"};
        std::string table = AnsiLowerCase(Table), column = AnsiLowerCase(Field);
        // Reservations the table has caught up with are spent.
        db.Execute(std::string("delete from ") + billing::data::kKeyReservationTable +
                       " where tabela = :ptabela and coluna = :pcoluna and valor <= :pvalor",
                   names, {table, column, stored});
        std::int64_t reserved = 0;
        {
            sqlite::Statement st(db, std::string("select max(valor) from ") + billing::data::kKeyReservationTable +
                                         " where tabela = :ptabela and coluna = :pcoluna");
            st.BindText(1, table);
            st.BindText(2, column);
            if (st.Step() && !st.ColumnIsNull(0)) reserved = st.ColumnInt64(0);
        }
        next = std::max(stored, reserved) + 1;
        // Nothing is reserved past the last code: the refusal stays the same
        // at every try instead of reserving further numbers nobody can use.
        if (next > std::numeric_limits<int>::max())
            throw EDatabaseError("Não há mais códigos disponíveis para " + Table + "." + Field);
        db.Execute(std::string("insert into ") + billing::data::kKeyReservationTable +
                       "(tabela, coluna, valor) values(:ptabela, :pcoluna, :pvalor)",
                   names, {table, column, next});
        ADOConnection->CommitTrans();
    } catch (...) {
        ADOConnection->RollbackTrans();
        throw;
    }
    DataSet->FieldByName(Field)->SetAsInteger(static_cast<int>(next));
}

bool Tdmdb::Usuario_Permissao(const std::string& Programa) {
    std::string user = Get_Var("id_usuario");
    if (AnsiSameText(user, "Admin")) return true;
    sqlite::Statement st(ADOConnection->Database(),
                         "select * from usuario_programa where id_usuario = :pid_usuario and id_programa = :pid_programa");
    st.BindText(1, user);
    st.BindText(2, Programa);
    if (st.Step()) return true;
    Messages().MessageBox("Você não tem permissão para acessar esta opção.", "Atenção", MessageIcon::Exclamation);
    return false;
}

void Tdmdb::Usuario_Log(const std::string& Programa, const std::string& Descricao) {
    Usuario_Log(Programa, Descricao, Get_Var("id_usuario"));
}

void Tdmdb::Usuario_Log(const std::string& Programa, const std::string& Descricao, const std::string& Usuario) {
    TDateTime now = Now();
    ADOConnection->Execute(
        "insert into Usuario_Log(id_usuario, Id_programa, Data, Hora, Descricao) values(:pid_usuario, :pid_programa, "
        ":pdata, :phora, :pDescricao)",
        {"pid_usuario", "pid_programa", "pdata", "phora", "pdescricao"},
        {Usuario, Programa, sqlite::DateTimeToIso(std::floor(now)), TimeToStr(now), Descricao});
}

TCxBlowfish& Tdmdb::Cipher() {
    if (!cipher_) {
        cipher_ = std::make_unique<TCxBlowfish>(nullptr);
        cipher_->SetCipherMode(cmECB);
        cipher_->GenerateKey("BRISKO-TALV");
    }
    return *cipher_;
}

std::string Tdmdb::Criptografa(const std::string& Text) {
    return Cipher().EncryptString(Text);
}

std::string Tdmdb::DeCriptografa(const std::string& Text) {
    if (Text.empty()) return {};
    return Cipher().DecryptString(Text);
}

std::string Tdmdb::PasswordRefusal(const std::string& Typed) const {
    if (Trim(Typed).empty()) return "A senha não pode ficar em branco.";
    if (Length(Typed) > billing::data::kPasswordMaxLength)
        return "A senha deve ter no máximo " + std::to_string(billing::data::kPasswordMaxLength) + " caracteres.";
    return {};
}

std::string Tdmdb::EncryptPassword(const std::string& Typed) {
    std::string refusal = PasswordRefusal(Typed);
    if (!refusal.empty()) throw EDatabaseError(refusal);
    return Criptografa(AnsiUpperCase(Typed));
}

bool Tdmdb::PasswordMatches(const std::string& Typed, const std::string& Stored) {
    // Not EncryptPassword: a typed password too long to store is simply wrong.
    if (Criptografa(AnsiUpperCase(Typed)) == Stored) return true;
    try {
        return AnsiUpperCase(DeCriptografa(Stored)) == AnsiUpperCase(Typed);
    } catch (const Exception&) {
        return false;  // a damaged stored password opens nothing
    }
}

int Tdmdb::XParamCount(const std::string& List) {
    std::string s = Trim(List);
    if (s.empty()) return 0;
    int count = 1;
    for (char c : s)
        if (c == ';') ++count;
    return count;
}

std::string Tdmdb::XParamStr(const std::string& List, int N) {
    if (N > XParamCount(List)) return {};
    std::string rest = List;
    std::string item;
    for (int i = 0; i < N; ++i) {
        std::size_t semi = rest.find(';');
        if (semi == std::string::npos) {
            item = rest;
            rest.clear();
        } else {
            item = rest.substr(0, semi);
            rest.erase(0, semi + 1);
        }
    }
    return item;
}

void Tdmdb::Abrir_WebSite(const std::string& Address) {
    // The desktop's opener is the only way to the user's browser. It hands
    // the address over and ends; when no browser is there it ends at once
    // with a failure, which must not pass in silence.
    std::string error;
    if (os::StartProgramChecked("xdg-open", {Address}, 2000, &error)) return;
    std::string text = "Não foi possível abrir o endereço \"" + Address + "\" no navegador.\r\n\r\n";
    if (os::FindProgram("xdg-open").empty())
        text += error + "\r\nEle abre o navegador padrão do computador: instale o pacote \"xdg-utils\" e um "
                        "navegador de internet.";
    else
        text += "Nenhum navegador de internet está instalado ou definido como padrão neste computador: instale um "
                "navegador (ou escolha o padrão nas preferências da área de trabalho) e tente de novo.";
    Messages().MessageBox(text, "Erro", MessageIcon::Error);
}

int Tdmdb::Centraliza_Texto(const std::string& Text, int Left, int Right) {
    double start = (static_cast<double>(Right) - Left - Length(Text)) / 2.0 + Left;
    return static_cast<int>(std::trunc(start)) + 1;
}

std::string Tdmdb::CorrigeIE(const std::string& Text) {
    std::string t = Trim(Text);
    std::string out;
    // A São Paulo rural producer's "P" is part of the registration ("P" and
    // twelve digits): kept, upper case. Paraná's "PR" and any other letter
    // go, as before.
    if (t.size() > 1 && (t[0] == 'P' || t[0] == 'p') && !((t[1] >= 'A' && t[1] <= 'Z') || (t[1] >= 'a' && t[1] <= 'z')))
        out = "P";
    for (char c : t)
        if (c >= '0' && c <= '9') out += c;
    return out;
}

std::vector<std::string> Tdmdb::PrinterList(bool Printers, bool DirectPorts) {
    std::vector<std::string> list;
    if (Printers) list = os::Printers().Printers();
    if (DirectPorts) {
        for (const char* port : {"[D] Rede", "[D] LPT1", "[D] LPT2", "[D] LPT3"}) list.emplace_back(port);
    }
    return list;
}
