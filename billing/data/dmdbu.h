#pragma once
// The data module every billing form uses: the database connection, the
// spare query, the memory tables, the run-time variables with the INI file,
// the opening, upgrade, initialisation and compaction of the database, and
// the shared data services (lookups, duplicate tests, new keys, rights, the
// user log, passwords, list and text helpers).
//
// Messages go through billing::data::Messages() (see Messages.h); the main
// window follows the module through OnStatusText and AfterOpenDatabase.
#include "billing/data/AppFiles.h"
#include "billing/data/FormLook.h"
#include "billing/data/Messages.h"
#include "billing/data/SchemaUpgrade.h"
#include "platform/db/DB.h"
#include "platform/db/SQLConnection.h"
#include "platform/db/SQLQuery.h"
#include "platform/rtl/Component.h"
#include "platform/rtl/Variant.h"

#include <functional>
#include <memory>
#include <map>
#include <string>
#include <vector>

class TCxBlowfish;
class TSay;

class Tdmdb : public TComponent {
public:
    explicit Tdmdb(TComponent* AOwner = nullptr);
    ~Tdmdb() override;
    FAT_CLASS_NAME(Tdmdb)

    // --- components (owned by the module)
    TDataSet* tbEmitente = nullptr;      // Nome (50), CNPJ (14), IE (15); nothing fills it
    TSQLConnection* ADOConnection = nullptr;
    TSQLQuery* qryCuringa = nullptr;     // a spare query for the forms
    TDataSet* tbVar = nullptr;           // id_variable, value

    // Opens the variable table (run by the constructor).
    void DataModuleCreate();

    // While another instance holds the database's write lock, a statement
    // waits kFirstWaitQuestionMs and then asks kWaitingForOtherUser (Sim
    // goes on waiting, and asks again a few seconds later; Não gives up,
    // the statement failing as busy and writing nothing).
    // The program turns it on (AskWhileWaiting) once its message boxes are
    // installed, before the database opens; without it a statement simply
    // waits out the connection's busy timeout.
    void AskWhileWaiting();
    static constexpr int kFirstWaitQuestionMs = 1000;
    static const char* const kWaitingForOtherUser;
    static std::function<bool(int, int)> WaitForOtherUsers();

    // --- run-time variables and the INI file
    // Names are compared without regard to case; a value is kept whole. A
    // name is never cut: one too long for the store (255 bytes) raises.
    void Set_Var(const std::string& Name, const std::string& Value);
    // A name never stored shows "Erro Interno do sistema..." and gives "".
    std::string Get_Var(const std::string& Name);
    // Whether a variable was stored (no message).
    bool VarExists(const std::string& Name);
    // Mode "Le" reads section "Database" (keys "Database", "User") into
    // nome_banco_dados and id_usuario; "Salva" writes them, refusing (with
    // EIniFileException) a file that is a program or a database; any case.
    // Both keys reach the file in one write: the next start never finds the
    // new database with the old user. A file that cannot be written raises
    // EIniFileException "Não foi possível gravar o arquivo de configuração
    // "<file>"." with the reason, the file keeping what it had.
    void Arquivo_Ini(const std::string& Mode);
    // Arquivo_Ini("Salva") after a log-in or a database change: a file that
    // cannot be written (a read-only folder, a full disk) is told once in the
    // session, in a box, and the program goes on; it never raises.
    void SalvaIniAvisandoUmaVez();
    // The start-up part of the main window's creation: the variables
    // nome_arquivo_ini, nome_banco_dados, id_usuario, mascara_produto and
    // nome_aplicativo from the file names, the INI written when missing and
    // then read back. Only at the first start (no INI yet) is the default
    // database made; later a missing one is the login's to report, never
    // replaced by an empty one. A default database that cannot be made is
    // reported ("Não foi possível criar o Banco de Dados ...") and the INI is
    // then not written, so that the next start is a first start again.
    void LoadStartupFiles(const billing::data::AppFiles& Files);
    // Section/Key of the INI file named by nome_arquivo_ini. An absent key is
    // written there with Default (where the user finds it to change) and
    // Default is returned; a file that cannot be written, or that is a
    // program or a database, is left as it is.
    std::string IniValue(const std::string& Section, const std::string& Key, const std::string& Default);
    // The same for several keys of a section, the absent ones written
    // together in one write; the values in the order of Keys (key, default).
    // A settings file that cannot be read (a pipe, a device or a folder at
    // its name, no permission) gives the values last read from it, or the
    // defaults, and IniReadProblem says why, naming the file; "" once it
    // reads again.
    std::vector<std::string> IniValues(const std::string& Section,
                                       const std::vector<std::pair<std::string, std::string>>& Keys);
    const std::string& IniReadProblem() const { return iniReadProblem_; }

    // --- the database
    // Opens the file named by nome_banco_dados, then Mostra_Emitente,
    // Database_Update and Inicia_Banco_Dados. Never makes a database: a
    // missing file raises EDatabaseError "O Banco de Dados "..." não foi
    // encontrado.", and a file or folder the program cannot write raises
    // one that says "somente leitura" (the file is left as it is). Raises
    // too when the file cannot be opened.
    bool Abrir_Banco_Dados();
    bool Fechar_Banco_Dados();
    // Compacts the closed file in place; false (with CompactError) when it
    // could not, the file being then unchanged.
    bool Compactar_Banco_Dados();
    const std::string& CompactError() const { return compactError_; }
    void Mostra_Emitente();
    void Database_Update();
    const billing::data::UpgradeResult& LastUpgrade() const { return lastUpgrade_; }
    void Inicia_Banco_Dados();
    // The NF-e folders and the environment of the settings row into the
    // variables pasta_nfe_envio, pasta_nfe_retorno, pasta_nfe_arquivamento,
    // pasta_nfe_erro and ambiente (the opening does it, and so does a save of
    // the settings, so that a new folder takes effect at once).
    void LoadNFeVariables();
    void ZeraBancoDados();

    // --- shared data services
    // Column Field of the first row of Table whose KeyField equals KeyValue,
    // as text; "?" when there is none.
    std::string dbGetFieldValue(const std::string& KeyField, const Variant& KeyValue, const std::string& Field,
                                const std::string& Table);
    bool JaExisteChave(const std::vector<Variant>& Values, const std::vector<std::string>& Fields,
                       const std::string& Table);
    // Sets DataSet's Field to the next free number of Table.Field. The
    // number is reserved in the database under the write lock, so two
    // instances never get the same one; a number whose row is never saved
    // is not reused.
    void Id_Generator(const std::string& Field, const std::string& Table, TDataSet* DataSet);
    bool Usuario_Permissao(const std::string& Programa);
    void Usuario_Log(const std::string& Programa, const std::string& Descricao);
    // The same line under a user named here (a log-in not yet accepted).
    void Usuario_Log(const std::string& Programa, const std::string& Descricao, const std::string& Usuario);
    std::string Criptografa(const std::string& Text);
    // "" for an empty stored text.
    std::string DeCriptografa(const std::string& Text);
    // The stored form of a typed password: upper case (accented letters
    // too), then encrypted. Every form that stores a password uses this.
    // Raises EDatabaseError with PasswordRefusal's text for a password that
    // may not be stored.
    std::string EncryptPassword(const std::string& Typed);
    // Why a typed password may not be stored, "" when it may: blank (the
    // login never takes it), or longer than kPasswordMaxLength characters
    // (the login's edit could never hold it).
    std::string PasswordRefusal(const std::string& Typed) const;
    // Whether a typed password opens a stored one, whatever case either was
    // written in (older files hold passwords upper-cased in a to z only).
    bool PasswordMatches(const std::string& Typed, const std::string& Stored);
    std::string XParamStr(const std::string& List, int N);
    int XParamCount(const std::string& List);
    // The browse or editing look of a form (see FormLook.h).
    void ChangeColor(TComponent* Form, bool Editing) { billing::data::ChangeColor(Form, Editing); }
    // Hands the address to the desktop's browser (xdg-open).
    void Abrir_WebSite(const std::string& Address);
    std::string VersaoAplicativo() const { return "1.44"; }
    int Centraliza_Texto(const std::string& Text, int Left, int Right);
    std::string CorrigeIE(const std::string& Text);
    // The printers a document may go to: when Printers, the system's
    // printers in its order; then, when DirectPorts, "[D] Rede", "[D] LPT1",
    // "[D] LPT2" and "[D] LPT3".
    std::vector<std::string> PrinterList(bool Printers, bool DirectPorts);
    // The boxed page header of the text reports, five rows from the current
    // one (a new page first unless the report stands on row 0): the box is
    // Width characters wide from column Left, with the application's name,
    // the program code, the page, the date and time of the report's clock,
    // the title, the subtitle and (ShowClient) the client centred. Built
    // with the text-report printer (billing/controls/TopHeader.cpp).
    void TopHeader(TSay* Say, int Width, const std::string& Programa, const std::string& Titulo,
                   const std::string& SubTitulo, int Left, bool ShowClient);

    // --- events
    // Panel is the main window's status-bar panel, from 0: 1 the database
    // path, 3 the issuer's name.
    std::function<void(TObject* Sender, int Panel, const std::string& Text)> OnStatusText;
    // After a successful open (the main window starts the NF-e answer timer).
    TNotifyEvent AfterOpenDatabase;
    // Whether the program may write a file or folder; unset, the file
    // system's own answer (tests answer for folders they cannot lock, the
    // superuser writing everywhere).
    std::function<bool(const std::string& Path)> CanWrite;

    // The connection string the module starts with; its Data Source is
    // replaced at every open.
    static const char* const kDesignConnectionString;

private:
    TCxBlowfish& Cipher();
    void StatusText(int Panel, const std::string& Text);
    bool Writable(const std::string& Path) const;
    // Raises when Path is missing or the program cannot write it or its folder.
    void CheckDatabaseFile(const std::string& Path) const;

    std::unique_ptr<TCxBlowfish> cipher_;
    bool iniRefusalTold_ = false;
    std::string iniReadProblem_;
    // "<section>\n<key>" (upper case) -> the value last read from the settings file.
    std::map<std::string, std::string> iniLastRead_;
    std::string compactError_;
    billing::data::UpgradeResult lastUpgrade_;
};

// The program's one data module (created by the program's entry).
extern Tdmdb* dmdb;
