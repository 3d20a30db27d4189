#include "billing/main/uoskerun.h"

#include "platform/rtl/SafeFile.h"

#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>

#include <QGuiApplication>
#include <QIcon>

#include "billing/data/dmdbu.h"
#include "billing/forms/FormUtils.h"
#include "billing/forms/Nota100.h"
#include "billing/forms/Nota101.h"
#include "billing/forms/Nota102.h"
#include "billing/forms/Nota103.h"
#include "billing/forms/Nota104.h"
#include "billing/forms/Nota106.h"
#include "billing/forms/Nota107.h"
#include "billing/forms/Nota108.h"
#include "billing/forms/Nota110.h"
#include "billing/forms/Nota111.h"
#include "billing/forms/Nota114.h"
#include "billing/forms/Nota115.h"
#include "billing/forms/Nota118.h"
#include "billing/forms/Nota119.h"
#include "billing/forms/Nota200.h"
#include "billing/forms/Nota201.h"
#include "billing/forms/Nota220.h"
#include "billing/forms/Nota221.h"
#include "billing/forms/Nota223.h"
#include "billing/forms/Nota224.h"
#include "billing/forms/Nota225.h"
#include "billing/forms/Nota230.h"
#include "billing/forms/Nota231.h"
#include "billing/forms/Nota232.h"
#include "billing/forms/Nota233.h"
#include "billing/forms/Nota300.h"
#include "billing/forms/Nota301.h"
#include "billing/forms/Nota403.h"
#include "billing/forms/Nota409.h"
#include "billing/forms/Sobre.h"
#include "billing/main/ReleaseCheck.h"
#include "billing/nfe/NFeSettings.h"
#include "platform/db/SQLiteDatabase.h"
#include "platform/os/Process.h"
#include "platform/rtl/Format.h"
#include "platform/rtl/SysUtils.h"
#include "platform/ui/Desktop.h"

namespace fs = std::filesystem;
using namespace billing::forms;

TfrmOske_Nf* frmOske_Nf = nullptr;

namespace {

std::string& CommandExe() {
    static std::string exe;
    return exe;
}

std::vector<std::string>& CommandArgs() {
    static std::vector<std::string> args;
    return args;
}

bool StartDetached(const std::string& Program, const std::vector<std::string>& Args) {
    return os::StartProgram(Program, Args);
}

// The site comes from the INI file (section "Atualizacao", key "Endereco",
// written empty on first use for the administrator to fill in): no address,
// no check. A release installed over this program ends it.
void CheckForNewRelease(TfrmOske_Nf* Window) {
    billing::main::ReleaseCheck::Settings settings;
    // Certificados: a file of the certificates of a company's own authority,
    // when the site's certificate is not signed by one the system trusts.
    std::vector<std::string> site = dmdb->IniValues("Atualizacao", {{"Endereco", ""}, {"Certificados", ""}});
    settings.address = site[0];
    settings.trustedCertificates = site[1];
    settings.programPath = Window->Files().ExePath();
    settings.arguments = CommandArgs();
    settings.currentVersion = dmdb->VersaoAplicativo();
    billing::main::ReleaseCheck check(settings);
    check.StartProgram = Window->StartProgram;
    using Outcome = billing::main::ReleaseCheck::Outcome;
    Outcome outcome = check.Run();
    if (outcome == Outcome::Installed || outcome == Outcome::InstalledNotStarted) Application->Terminate();
}

}  // namespace

void TfrmOske_Nf::SetCommandLine(const std::string& ExePath, const std::vector<std::string>& Args) {
    CommandExe() = ExePath;
    CommandArgs() = Args;
}

TfrmOske_Nf::TfrmOske_Nf(TComponent* AOwner) : TForm(AOwner) {
    InstallProgramIcon();
    SetName("frmOske_Nf");
    SetCaption("Quillmar OSKE - [Módulo: Faturamento]");
    SetFormStyle(fsMDIForm);
    SetBounds(0, 0, 1024, 700);
    SetWindowState(wsMaximized);

    imgToolbar = new TImageList(this);
    imgToolbar->SetName("imgToolbar");
    BuildMenu();
    BuildToolbar();

    StatusBar = new TStatusBar(this);
    StatusBar->SetName("StatusBar");
    StatusBar->SetParent(this);
    StatusBar->SetAlign(alBottom);
    const struct {
        const char* text;
        int width;
        TAlignment alignment;
    } panels[] = {{"Banco Dados:", 95, taCenter}, {"", 400, taLeftJustify}, {"Emitente:", 70, taLeftJustify},
                  {"", 300, taLeftJustify}};
    for (const auto& p : panels) {
        TStatusPanel* panel = StatusBar->AddPanel();
        panel->SetText(p.text);
        panel->SetWidth(p.width);
        panel->SetAlignment(p.alignment);
    }

    // No background picture ships with the program; the frame's own grey shows.
    Image1 = new TImage(this);
    Image1->SetName("Image1");
    Image1->SetVisible(false);

    TimerNFe = new TTimer(this);
    TimerNFe->SetName("TimerNFe");
    TimerNFe->SetEnabled(false);
    TimerNFe->SetInterval(4000);
    TimerNFe->OnTimer = [this](TObject*) {
        if (OnNFeAnswers) OnNFeAnswers(this);
    };
    OnNFeAnswers = [this](TfrmOske_Nf* sender) { TimerNFeTimer(sender); };

    StartProgram = StartDetached;
    OnReleaseCheck = CheckForNewRelease;
    ShowLogin = [this] {
        TfrmNota220 login(nullptr);
        return login.ShowModal();
    };

    OnCreate = [this](TObject* s) { FormCreate(s); };
    OnShow = [this](TObject* s) { FormShow(s); };
    OnActivate = [this](TObject* s) { FormActivate(s); };
    OnClose = [this](TObject* s, TCloseAction& a) { FormClose(s, a); };
    OnCloseQuery = [this](TObject* s, bool& c) { FormCloseQuery(s, c); };
    frmOske_Nf = this;
}

void TfrmOske_Nf::InstallProgramIcon() {
    // The icon inside the program; the desktop entry installed with it names
    // the same picture, so the window and the desktop's menus agree.
    QIcon icon(QStringLiteral(":/faturamento.svg"));
    if (icon.isNull() || icon.pixmap(32, 32).isNull())
        icon = ui::ThemeIcon("x-office-document");
    ui::SetProgramIcon(icon);
    QGuiApplication::setDesktopFileName(QStringLiteral("faturamento"));
}

TfrmOske_Nf::~TfrmOske_Nf() {
    if (dmdb != nullptr) {
        dmdb->OnStatusText = nullptr;
        dmdb->AfterOpenDatabase = nullptr;
    }
    billing::nfe::SetMessagePump(nullptr);
    if (frmOske_Nf == this) frmOske_Nf = nullptr;
}

TMenuItem* TfrmOske_Nf::AddItem(TMenuItem* Parent, const std::string& Name, const std::string& Caption,
                                const std::string& Icon, std::function<void()> Command, const std::string& Hint) {
    auto* item = new TMenuItem(this);
    if (!Name.empty()) item->SetName(Name);
    item->SetCaption(Caption);
    if (!Hint.empty()) item->SetHint(Hint);
    if (!Icon.empty()) item->SetImageIndex(imgToolbar->AddThemeIcon(Icon));
    if (Command) item->OnClick = [Command](TObject*) { Command(); };
    Parent->Add(item);
    return item;
}

void TfrmOske_Nf::Guarded(const std::string& Key, const std::function<void()>& Open) {
    if (!dmdb->Usuario_Permissao(Key)) return;
    Open();
}

void TfrmOske_Nf::BuildMenu() {
    MainMenu1 = new TMainMenu(this);
    MainMenu1->SetName("MainMenu1");
    MainMenu1->SetImages(imgToolbar);
    TMenuItem* root = MainMenu1->Items();
    auto x = [this] { return [this] { X(); }; };
    // An unfinished command that has its own right still asks for it first:
    // a user without the right must not learn more than a user with it.
    auto sep = [this](TMenuItem* parent) { AddItem(parent, "", "-", "", nullptr); };
    // Glyphs are the desktop theme's icons by their freedesktop names.
    TMenuItem* cad = AddItem(root, "mnuCadastros", "&Cadastros", "", nullptr);
    mnuClientes = AddItem(cad, "mnuClientes", "&Clientes", "x-office-address-book",
                          [this] { mnuClientesClick(this); }, "Cadastro de Clientes");
    mnuProdutos = AddItem(cad, "mnuProdutos", "&Produtos", "package-x-generic", [this] { mnuProdutosClick(this); },
                          "Cadastro de Produtos");
    sep(cad);
    AddItem(cad, "mnuNota105", "C&FOP", "x-office-document", [this] { mnuNota105Click(this); });
    AddItem(cad, "mnuNota106", "&Situação Tributária", "x-office-spreadsheet", [this] { mnuNota106Click(this); });
    AddItem(cad, "UnidadesdeMedida1", "&Unidades de Medida", "x-office-spreadsheet-template",
            [this] { UnidadesdeMedida1Click(this); });
    sep(cad);
    AddItem(cad, "mnuNota103", "&Vendedores", "user-info", [this] { mnuNota103Click(this); });
    mnuTransportadoras = AddItem(cad, "mnuTransportadoras", "&Transportadoras", "document-send",
                                 [this] { mnuTransportadorasClick(this); }, "Cadastro de Transportadoras");
    AddItem(cad, "SrieDocumentos1", "Série &Documentos", "x-office-document-template",
            [this] { SrieDocumentos1Click(this); });
    sep(cad);
    AddItem(cad, "mnuCondicao_Pagamento", "C&ondições de Pagamento", "x-office-calendar",
            [this] { mnuCondicao_PagamentoClick(this); });
    AddItem(cad, "mnuConta_Corrente", "Co&ntas Corrente", "folder-documents", [this] { mnuConta_CorrenteClick(this); });
    AddItem(cad, "Febraban1", "Fe&braban", "network-server", x());
    sep(cad);
    AddItem(cad, "Emitente1", "&Emitente", "user-home", [this] { Emitente1Click(this); });
    sep(cad);
    mnuSair = AddItem(cad, "mnuSair", "Sai&r", "application-exit", [this] { mnuSairClick(mnuSair); },
                      "Sair do Sistema");

    TMenuItem* lanc = AddItem(root, "mnuLancamentos", "&Lançamentos", "", nullptr);
    mnuLancar_Venda = AddItem(lanc, "mnuLancar_Venda", "Lançar &Notas Fiscais Eletrônicas (NF-e)", "document-new",
                              [this] { mnuLancar_VendaClick(this); }, "Lançar NF-e");
    AddItem(lanc, "EmitirRomaneio1", "Lançar &Romaneios", "document-properties", [this] { EmitirRomaneio1Click(this); });
    AddItem(lanc, "LanarPedidos1", "Lançar &Pedidos", "text-x-generic", [] { ShowMessage("Rotina sendo aprimorada"); });
    sep(lanc);
    mnuGerenciar_nfe = AddItem(lanc, "mnuGerenciar_nfe", "&Gerenciar Notas Fiscais Eletrônicas (NF-e)",
                               "system-file-manager", [this] { mnuGerenciar_nfeClick(this); }, "Gerenciar NF-e");
    AddItem(lanc, "InutilizaodeNumeraoNFe1", "&Inutilizar Numeração NF-e", "edit-delete",
            [this] { InutilizaodeNumeraoNFe1Click(this); });
    AddItem(lanc, "VerificarStatusServioNFe1", "&Verificar Status Serviço NF-e", "network-transmit-receive",
            [this] { VerificarStatusServioNFe1Click(this); });

    TMenuItem* rel = AddItem(root, "mnuRelatorios", "&Relatórios", "", nullptr);
    AddItem(rel, "NotasFiscaisEmitidas1", "&Notas Fiscais Emitidas", "document-print-preview", [this] { Guarded("Nota403", [this] { OpenForm(frmNota403); }); });
    AddItem(rel, "RomaneiosEmitidos1", "R&omaneios Emitidos", "document-print", x());
    AddItem(rel, "BloquetosEmitidos1", "&Boletos Emitidos", "printer", x());
    AddItem(rel, "ResumoMovimento1", "&Resumo de Vendas (por Grupo)", "x-office-presentation", [this] { Guarded("Nota409", [this] { OpenForm(frmNota409); }); });
    sep(rel);
    TMenuItem* relCad = AddItem(rel, "Cadastros1", "&Cadastros", "", nullptr);
    AddItem(relCad, "Clientes1", "&Clientes", "x-office-address-book", [this] { Guarded("Nota300", [this] { OpenForm(frmNota300); }); });
    AddItem(relCad, "Produtos1", "&Produtos", "package-x-generic", [this] { Produtos1Click(this); });

    TMenuItem* fin = AddItem(root, "mnuFinanceiro", "&Financeiro", "", nullptr);
    mnuTitulo_Receber = AddItem(fin, "mnuTitulo_Receber", "&Títulos a Receber", "appointment-soon", x(),
                                "Títulos a Receber");
    sep(fin);
    AddItem(fin, "GerarArquivoRemessa1", "&Gerar Arquivo Remessa", "mail-send", x());
    AddItem(fin, "LerArquivoRetorno1", "&Ler Arquivo Retorno", "document-open", x());
    sep(fin);
    TMenuItem* finRel = AddItem(fin, "Relatorios2", "&Relatórios", "", nullptr);
    AddItem(finRel, "BoletosEmitidos1", "&Boletos Emitidos", "printer", x());
    AddItem(finRel, "tulosaReceber2", "&Títulos a Receber", "document-print-preview", x());

    // One accelerator per letter in each menu: Alt+M opens this menu (its
    // last marked letter; F is Financeiro's), and D the administrator's (A is
    // Alterar Senha's).
    TMenuItem* fer = AddItem(root, "mnuFerramentas", "&Ferra&mentas", "", nullptr);
    AddItem(fer, "mnuCfgConfigura", "&Opções...", "preferences-system", [this] { mnuCfgConfiguraClick(this); });
    sep(fer);
    AddItem(fer, "AlterarSenha1", "&Alterar Senha...", "dialog-password", [this] { AlterarSenha1Click(this); });
    mnuBloquear_Aplicativo = AddItem(fer, "mnuBloquear_Aplicativo", "&Bloquear Aplicativo", "system-lock-screen",
                                     [this] { mnuBloquear_AplicativoClick(this); }, "Bloquear Aplicativo");
    sep(fer);
    TMenuItem* adm = AddItem(fer, "Administrador1", "A&dministrador", "", nullptr);
    AddItem(adm, "Usurios1", "&Usuários", "system-users", [this] { Usurios1Click(this); });
    Programas1 = AddItem(adm, "Programas1", "&Programas", "application-x-executable", [this] { Programas1Click(this); });
    Programas1->SetVisible(false);
    AddItem(adm, "ModelosImpressoras1", "&Modelos Impressoras", "printer", x());
    AddItem(adm, "LogdeUsurio1", "&Log de Usuário", "document-open-recent", [this] { LogdeUsurio1Click(this); });
    sep(fer);
    AddItem(fer, "ManutenoManualsomenteMaster1", "&Manutenção Manual (somente Master)", "emblem-system",
            [this] { ManutenoManualsomenteMaster1Click(this); });
    AddItem(fer, "ImportaDadosOSKEAntigo1", "&Gerar Arquivo Center Contábeis", "document-save-as",
            [this] { ImportaDadosOSKEAntigo1Click(this); });

    TMenuItem* ajuda = AddItem(root, "mnuAjuda", "&Ajuda", "", nullptr);
    mnuSuporte = AddItem(ajuda, "mnuSuporte", "&Suporte Remoto...", "preferences-desktop-remote-desktop",
                         [this] { mnuSuporteClick(this); }, "Suporte Remoto");
    sep(ajuda);
    mnuSobre = AddItem(ajuda, "mnuSobre", "S&obre", "help-about", [this] { mnuSobreClick(this); });

    SetMenu(MainMenu1);

    popLink = new TPopupMenu(this);
    popLink->SetName("popLink");
    popLink->SetImages(imgToolbar);
    AddItem(popLink->Items(), "ConsultaNFenaSefaz1", "Consulta &NF-e na Sefaz", "web-browser",
            [this] { ConsultaNFenaSefaz1Click(this); });
    AddItem(popLink->Items(), "ConsultaInutilizaoSefaz1", "Consulta &Inutilização Sefaz", "web-browser",
            [this] { ConsultaInutilizaoSefaz1Click(this); });
}

void TfrmOske_Nf::BuildToolbar() {
    CoolBar1 = new TPanel(this);
    CoolBar1->SetName("CoolBar1");
    CoolBar1->SetParent(this);
    CoolBar1->SetAlign(alTop);
    CoolBar1->SetHeight(44);
    CoolBar1->SetBevelOuter(bvNone);
    ToolBar1 = new TToolBar(this);
    ToolBar1->SetName("ToolBar1");
    ToolBar1->SetParent(CoolBar1);
    ToolBar1->SetAlign(alClient);
    ToolBar1->SetShowCaptions(true);
    ToolBar1->SetImages(imgToolbar);
    int n = 0;
    auto button = [this, &n](TMenuItem* item, const std::string& caption) {
        auto* b = new TToolButton(this);
        b->SetName("ToolButton" + std::to_string(++n));
        b->SetParent(ToolBar1);
        if (item != nullptr) b->SetMenuItem(item);
        if (!caption.empty()) b->SetCaption(caption);
        return b;
    };
    auto separator = [this, &n] {
        auto* b = new TToolButton(this);
        b->SetName("ToolSeparator" + std::to_string(++n));
        b->SetParent(ToolBar1);
        b->SetStyle(tbsSeparator);
    };
    button(mnuClientes, "Clientes");
    button(mnuProdutos, "Produtos");
    button(mnuTransportadoras, "Transportadoras");
    separator();
    button(mnuLancar_Venda, "Lançar NF-e");
    separator();
    button(mnuGerenciar_nfe, "Gerenciar NF-e");
    separator();
    button(mnuTitulo_Receber, "Títulos a Receber");
    separator();
    TToolButton* calc = button(nullptr, "Calculadora");
    calc->SetName("ToolButton6");
    calc->SetImageIndex(imgToolbar->AddThemeIcon("accessories-calculator"));
    calc->SetHint("Calculadora");
    calc->SetShowHint(true);
    calc->OnClick = [this](TObject* s) { ToolButton6Click(s); };
    button(mnuSuporte, "Suporte Remoto");
    button(mnuBloquear_Aplicativo, "Bloquear Aplicativo");
    TToolButton* links = button(nullptr, "Links Importantes");
    links->SetImageIndex(imgToolbar->AddThemeIcon("web-browser"));
    links->SetStyle(tbsDropDown);
    links->SetDropdownMenu(popLink);
    separator();
    TToolButton* sair = button(mnuSair, "Sair");
    sair->SetHint("Sair do Sistema");
    // The band is as tall as the buttons, with no empty strip below them.
    CoolBar1->SetHeight(ToolBar1->ButtonHeight());
}

// ---------------------------------------------------------------------------
// Start-up and close

void TfrmOske_Nf::FormCreate(TObject*) {
    loginDone_ = false;
    FormatSettings.ShortDateFormat = "dd/mm/yyyy";
    std::string exe = CommandExe().empty() ? billing::data::AppFiles::CurrentExecutable() : CommandExe();
    files_ = std::make_unique<billing::data::AppFiles>(exe, CommandArgs());
    dmdb->OnStatusText = [this](TObject*, int Panel, const std::string& Text) {
        if (Panel >= 0 && Panel < StatusBar->PanelCount()) StatusBar->Panels(Panel)->SetText(Text);
    };
    billing::nfe::SetMessagePump([] { Application->ProcessMessages(); });
    dmdb->AfterOpenDatabase = [this](TObject*) {
        // Read once now so that a new INI file shows the NF-e programs' settings.
        billing::nfe::Config_NFe(*dmdb);
        // The login opens the database before it knows the user: nothing of
        // the answers may show over it, nor take the Enter meant for it.
        if (loginDone_ && !loginRunning_) TimerNFe->SetEnabled(true);
    };
    dmdb->LoadStartupFiles(*files_);
    std::string title = dmdb->Get_Var("nome_aplicativo");
    Application->SetTitle(title);
    SetCaption(title);
    mnuSobre->SetCaption("S&obre o " + title);
}

void TfrmOske_Nf::FormShow(TObject*) {
    Application_Update();
    Cria_Pastas_NFE();
}

void TfrmOske_Nf::FormActivate(TObject*) {
    // The login's own window activates and deactivates this one while it
    // runs; nothing may happen behind its back.
    if (loginRunning_) return;
    bool loggedInNow = false;
    if (!loginDone_) {
        loginDone_ = true;
        loginRunning_ = true;
        TModalResult result = mrCancel;
        try {
            result = ShowLogin ? ShowLogin() : mrCancel;
        } catch (...) {
            // No login took place: the user id read from the INI file must
            // not get the program with its rights.
            loginRunning_ = false;
            Application->Terminate();
            throw;
        }
        loginRunning_ = false;
        if (result != mrOk) {
            // Nobody logged in: the program ends without touching any
            // database (opening one could make a file where there was none).
            Application->Terminate();
            return;
        }
        loggedInNow = true;
    }
    if (!dmdb->ADOConnection->Connected()) Abrir_Banco_Dados();
    // The answers are read from the end of the login on.
    else if (loggedInNow) TimerNFe->SetEnabled(true);
}

void TfrmOske_Nf::FormClose(TObject*, TCloseAction& Action) {
    (void)Action;
    Fechar_Banco_Dados();
}

void TfrmOske_Nf::FormCloseQuery(TObject*, bool& CanClose) {
    for (int i = 0; i < MDIChildCount(); ++i) {
        TCustomForm* child = MDIChildren(i);
        if (child != nullptr && !child->CloseQuery()) {
            CanClose = false;
            return;
        }
    }
}

void TfrmOske_Nf::Arquivo_Ini(const std::string& Mode) { dmdb->Arquivo_Ini(Mode); }
void TfrmOske_Nf::Abrir_Banco_Dados() {
    std::string path = dmdb->Get_Var("nome_banco_dados");
    std::error_code ec;
    if (!fs::exists(path, ec) || !sqlite::DatabaseObstacle(path).empty()) {
        if (OfferDatabaseChooser(path)) OpenChosenDatabase();
        return;
    }
    dmdb->Abrir_Banco_Dados();
}

void TfrmOske_Nf::Fechar_Banco_Dados() {
    TimerNFe->SetEnabled(false);
    dmdb->Fechar_Banco_Dados();
}

void TfrmOske_Nf::Compactar_Banco_Dados() {
    if (!dmdb->Compactar_Banco_Dados())
        Box("Não foi possível compactar o Banco de Dados. O arquivo foi mantido como estava.\r\n\r\n" +
                dmdb->CompactError(),
            "Atenção");
}

bool TfrmOske_Nf::Selecionar_Banco_Dados() {
    TfrmSelecionarBancoDados chooser(nullptr);
    if (chooser.ShowModal() != mrOk) return false;
    OpenChosenDatabase();
    return true;
}

void TfrmOske_Nf::OpenChosenDatabase() {
    dmdb->SalvaIniAvisandoUmaVez();  // the next start proposes it
    dmdb->Abrir_Banco_Dados();
}

void TfrmOske_Nf::Application_Update() {
    if (OnReleaseCheck) OnReleaseCheck(this);
}

std::string TfrmOske_Nf::PastaNFe() const {
    // An install whose program folder cannot be written keeps its files in
    // the user's data folder, next to the database.
    if (files_ && files_->UsesUserFolders()) return fs::path(files_->DatabaseFileName()).parent_path().string();
    std::string exe = files_ ? files_->ExePath() : billing::data::AppFiles::CurrentExecutable();
    return fs::path(exe).parent_path().string();
}

void TfrmOske_Nf::Cria_Pastas_NFE() {
    fs::path base(PastaNFe());
    // Private, or the group's in a shared install's set-group-ID folder, as
    // the database is: a second clerk of the group writes requests there too.
    for (const char* sub : {"NFE", "NFE/Envio", "NFE/Retorno", "NFE/Arquivo", "NFE/Temp", "NFE/Certificado"}) {
        const std::string folder = (base / sub).string();
        fileio::MakeFolders(folder);  // a failure is left for later use to report
        // Earlier releases made them 2755 under the umask: in a shared
        // install the group could not write requests. The owner gives them
        // the mode a new one gets; any other mode was someone's choice.
        struct stat st {};
        const unsigned wanted = fileio::PrivateFolderMode(folder);
        if (::lstat(folder.c_str(), &st) == 0 && S_ISDIR(st.st_mode) && st.st_uid == ::geteuid() &&
            (st.st_mode & 07777) == 02755 && wanted == 02770)
            ::chmod(folder.c_str(), wanted);
    }
}

// ---------------------------------------------------------------------------
// Commands

void TfrmOske_Nf::X() { Box("Esta opção está sendo Implementada. Aguarde.", "Atenção"); }

void TfrmOske_Nf::mnuSairClick(TObject*) {
    if (!CloseQuery()) return;
    if (dmdb->ADOConnection->Connected()) {
        Fechar_Banco_Dados();
        Compactar_Banco_Dados();
    }
    Application->Terminate();
}

void TfrmOske_Nf::mnuSobreClick(TObject*) {
    TfrmSobre about(nullptr);
    about.ShowModal();
}

void TfrmOske_Nf::mnuSuporteClick(TObject*) {
    std::string path = (fs::path(files_ ? files_->ExePath() : CommandExe()).parent_path() / "suporte").string();
    std::error_code ec;
    if (fs::is_regular_file(path, ec)) {
        if (!StartProgram(path, {}))
            Box("Não foi possível executar o arquivo \"" + path + "\".", "Erro", mtError);
        return;
    }
    Box("O arquivo \"" + path + "\" não foi encontrado.\r\n"
        "Por favor, faça o download do programa de suporte no site do fabricante.",
        "Erro");
}

std::string TfrmOske_Nf::FindCalculator() {
    for (const char* name : {"gnome-calculator", "kcalc", "galculator", "mate-calc", "qalculate-gtk", "xcalc"}) {
        std::string found = os::FindProgram(name);
        if (!found.empty()) return found;
    }
    return {};
}

void TfrmOske_Nf::ToolButton6Click(TObject*) {
    std::string calculator = FindCalculator();
    if (calculator.empty()) {
        Box("Nenhuma calculadora foi encontrada neste computador.\r\n"
            "Instale uma calculadora (por exemplo, gnome-calculator ou galculator) e tente novamente.",
            "Erro", mtError);
        return;
    }
    if (!StartProgram(calculator, {}))
        Box("Não foi possível abrir a calculadora \"" + calculator + "\".", "Erro", mtError);
}

void TfrmOske_Nf::mnuBloquear_AplicativoClick(TObject*) {
    Guarded("Nota224", [] {
        TfrmNota224 lock(nullptr);
        lock.ShowModal();
    });
}

void TfrmOske_Nf::mnuClientesClick(TObject*) {
    Guarded("Nota100", [this] { OpenForm(frmNota100); });
}

void TfrmOske_Nf::mnuProdutosClick(TObject*) {
    Guarded("Nota101", [this] { OpenForm(frmNota101); });
}

void TfrmOske_Nf::mnuTransportadorasClick(TObject*) {
    Guarded("Nota103", [this] { OpenForm(frmNota103); });
}

void TfrmOske_Nf::Emitente1Click(TObject*) {
    Guarded("Nota110", [this] { OpenForm(frmNota110); });
}

void TfrmOske_Nf::mnuNota105Click(TObject*) {
    Guarded("Nota104", [this] { OpenForm(frmNota104); });
}

void TfrmOske_Nf::mnuNota106Click(TObject*) {
    Guarded("Nota106", [this] { OpenForm(frmNota106); });
}

void TfrmOske_Nf::UnidadesdeMedida1Click(TObject*) {
    Guarded("Nota119", [this] { OpenForm(frmNota119); });
}

void TfrmOske_Nf::mnuNota103Click(TObject*) {
    Guarded("Nota102", [this] { OpenForm(frmNota102); });
}

void TfrmOske_Nf::SrieDocumentos1Click(TObject*) {
    Guarded("Nota118", [this] { OpenForm(frmNota118); });
}

void TfrmOske_Nf::mnuCondicao_PagamentoClick(TObject*) {
    Guarded("Nota108", [this] { OpenForm(frmNota108); });
}

void TfrmOske_Nf::mnuConta_CorrenteClick(TObject*) {
    Guarded("Nota107", [this] { OpenForm(frmNota107); });
}

void TfrmOske_Nf::mnuCfgConfiguraClick(TObject*) {
    Guarded("Nota115", [this] { OpenForm(frmNota115); });
}

void TfrmOske_Nf::AlterarSenha1Click(TObject*) {
    Guarded("Nota223", [this] { OpenForm(FrmNota223); });
}

void TfrmOske_Nf::Usurios1Click(TObject*) {
    Guarded("Nota111", [this] { OpenForm(frmNota111); });
}

void TfrmOske_Nf::Programas1Click(TObject*) {
    Guarded("Nota114", [this] { OpenForm(frmNota114); });
}

void TfrmOske_Nf::mnuLancar_VendaClick(TObject*) {
    Guarded("Nota200", [this] { OpenForm(frmNota200); });
}

void TfrmOske_Nf::EmitirRomaneio1Click(TObject*) {
    Guarded("Nota201", [this] { OpenForm(frmNota201); });
}

void TfrmOske_Nf::LogdeUsurio1Click(TObject*) {
    Guarded("Nota221", [this] { OpenForm(frmNota221); });
}

void TfrmOske_Nf::mnuGerenciar_nfeClick(TObject*) {
    Guarded("Nota232", [this] { OpenForm(frmNota232); });
}

void TfrmOske_Nf::InutilizaodeNumeraoNFe1Click(TObject*) {
    Guarded("Nota231", [this] { OpenForm(frmNota231); });
}

void TfrmOske_Nf::VerificarStatusServioNFe1Click(TObject*) {
    Guarded("Nota230", [this] { OpenForm(frmNota230); });
}

void TfrmOske_Nf::ManutenoManualsomenteMaster1Click(TObject*) {
    Guarded("Nota225", [this] { OpenForm(frmNota225); });
}

void TfrmOske_Nf::TimerNFeTimer(TObject*) {
    TimerNFe->SetEnabled(false);
    if (!poller_) {
        billing::nfe::AnswerPoller::Services services;
        services.db = dmdb->ADOConnection;
        services.config = [] { return billing::nfe::Config_NFe(*dmdb); };
        services.check_monitor = [this](const billing::nfe::NFeConfig& config) {
            return CheckNFeMonitor ? CheckNFeMonitor(config) : billing::nfe::Verifica_Monitor_NFE(config);
        };
        poller_ = std::make_unique<billing::nfe::AnswerPoller>(std::move(services));
    }
    struct Rearm {
        TTimer* timer;
        ~Rearm() {
            // Whatever happened in the tick, the answers go on being read.
            if (dmdb != nullptr && dmdb->ADOConnection->Connected()) timer->SetEnabled(true);
        }
    } rearm{TimerNFe};
    billing::nfe::TickReport report = poller_->Tick();
    // An open invoice window follows what the answers changed: its NF-e
    // state, its protocol, and whether Editar and Excluir still apply.
    if (report.handled > 0 && frmNota200 != nullptr) frmNota200->Core->Refresh();
    // The boxes come after the file work, while the timer is stopped. A
    // notice kept in the database is taken off just before its box: one
    // another station showed meanwhile is not shown twice.
    for (const billing::nfe::PollerMessage& m : report.messages)
        if (dmdb != nullptr && billing::nfe::TakeNotice(*dmdb->ADOConnection, m)) Notice(m.text, m.caption);
}

void TfrmOske_Nf::Produtos1Click(TObject*) {
    Guarded("Nota301", [this] { OpenForm(frmNota301); });
}

void TfrmOske_Nf::ImportaDadosOSKEAntigo1Click(TObject*) {
    Guarded("Nota233", [this] { OpenForm(frmNota233); });
}

void TfrmOske_Nf::ConsultaNFenaSefaz1Click(TObject*) { dmdb->Abrir_WebSite(kConsultaNFe); }
void TfrmOske_Nf::ConsultaInutilizaoSefaz1Click(TObject*) { dmdb->Abrir_WebSite(kConsultaInutilizacao); }
