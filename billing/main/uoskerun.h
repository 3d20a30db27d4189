#pragma once
// The main window: the MDI frame with the menus, the toolbar and the status
// bar. It names the INI and database files, creates the NF-e folders, shows
// the login at its first activation, opens every form behind the user's
// rights and, on Exit, closes and compacts the database.
#include <functional>
#include <string>
#include <vector>

#include <QWidget>

#include "billing/data/AppFiles.h"
#include "billing/nfe/AnswerPoller.h"
#include "platform/ui/ComCtrls.h"
#include "platform/ui/ExtCtrls.h"
#include "platform/ui/Forms.h"
#include "platform/ui/Menus.h"

class TfrmOske_Nf : public TForm {
public:
    FAT_CLASS_NAME(TfrmOske_Nf)
    explicit TfrmOske_Nf(TComponent* AOwner);
    ~TfrmOske_Nf() override;

    // The running program's path and its arguments, given by the program's
    // entry before the window is created (FormCreate names the files after
    // them; the first argument names the INI file).
    static void SetCommandLine(const std::string& ExePath, const std::vector<std::string>& Args);

    TImage* Image1 = nullptr;
    TStatusBar* StatusBar = nullptr;
    TPanel* CoolBar1 = nullptr;
    TToolBar* ToolBar1 = nullptr;
    TImageList* imgToolbar = nullptr;
    TMainMenu* MainMenu1 = nullptr;
    TPopupMenu* popLink = nullptr;
    TTimer* TimerNFe = nullptr;

    TMenuItem* mnuClientes = nullptr;
    TMenuItem* mnuProdutos = nullptr;
    TMenuItem* mnuTransportadoras = nullptr;
    TMenuItem* mnuSair = nullptr;
    TMenuItem* mnuLancar_Venda = nullptr;
    TMenuItem* mnuGerenciar_nfe = nullptr;
    TMenuItem* mnuTitulo_Receber = nullptr;
    TMenuItem* mnuBloquear_Aplicativo = nullptr;
    TMenuItem* mnuSuporte = nullptr;
    TMenuItem* mnuSobre = nullptr;
    TMenuItem* Programas1 = nullptr;

    // --- seams for what later parts of the program plug in
    // The release check, run when the window is first shown (the maker's
    // site named in the INI file; see ReleaseCheck.h).
    std::function<void(TfrmOske_Nf* Sender)> OnReleaseCheck;
    // The NF-e answer poller, run by TimerNFe once the database is open; the
    // default is TimerNFeTimer.
    std::function<void(TfrmOske_Nf* Sender)> OnNFeAnswers;
    // How the poller checks the monitor; unset, Verifica_Monitor_NFE.
    std::function<bool(const billing::nfe::NFeConfig&)> CheckNFeMonitor;
    // Starts an outside program detached; false when it could not start.
    // Tests put a recording stand-in here.
    std::function<bool(const std::string& Program, const std::vector<std::string>& Args)> StartProgram;
    // Shows the login modally; the default creates TfrmNota220.
    std::function<TModalResult()> ShowLogin;

    void FormCreate(TObject* Sender);
    void FormShow(TObject* Sender);
    void FormActivate(TObject* Sender);
    void FormClose(TObject* Sender, TCloseAction& Action);
    // Every open form settles its pending row before the database closes;
    // one that keeps its row keeps the window open.
    void FormCloseQuery(TObject* Sender, bool& CanClose);

    // Brings an open form of class T (or one derived from it) to the front,
    // or creates one and keeps it in Reference.
    template <typename T>
    T* OpenForm(T*& Reference) {
        for (int i = 0; i < MDIChildCount(); ++i) {
            if (auto* open = dynamic_cast<T*>(MDIChildren(i))) {
                open->Show();
                open->SetWindowState(wsNormal);
                open->BringToFront();
                Reference = open;
                return open;
            }
        }
        T* form = new T(Application);
        Reference = form;
        form->DoCreate();
        form->Show();
        return form;
    }

    // The message of the commands not built yet.
    void X();
    void Arquivo_Ini(const std::string& Mode);
    // Opens the database nome_banco_dados names; a missing one is said and
    // the chooser offered, never made anew.
    void Abrir_Banco_Dados();
    void Fechar_Banco_Dados();
    void Compactar_Banco_Dados();
    bool Selecionar_Banco_Dados();
    void Application_Update();
    void Cria_Pastas_NFE();
    // The folder the NF-e folders are made in.
    std::string PastaNFe() const;
    const billing::data::AppFiles& Files() const { return *files_; }

    void mnuSairClick(TObject* Sender);
    void mnuLancar_VendaClick(TObject* Sender);
    void EmitirRomaneio1Click(TObject* Sender);
    void mnuSobreClick(TObject* Sender);
    void mnuSuporteClick(TObject* Sender);
    void ToolButton6Click(TObject* Sender);
    void mnuBloquear_AplicativoClick(TObject* Sender);
    void mnuClientesClick(TObject* Sender);
    void mnuProdutosClick(TObject* Sender);
    void mnuTransportadorasClick(TObject* Sender);
    void Emitente1Click(TObject* Sender);
    void mnuNota105Click(TObject* Sender);            // CFOP
    void mnuNota106Click(TObject* Sender);            // tax situations
    void UnidadesdeMedida1Click(TObject* Sender);     // units of measure
    void mnuNota103Click(TObject* Sender);            // sellers
    void SrieDocumentos1Click(TObject* Sender);       // document series
    void mnuCondicao_PagamentoClick(TObject* Sender); // payment terms
    void mnuConta_CorrenteClick(TObject* Sender);     // bank accounts
    void mnuCfgConfiguraClick(TObject* Sender);       // settings
    void AlterarSenha1Click(TObject* Sender);
    void Usurios1Click(TObject* Sender);
    void Programas1Click(TObject* Sender);
    void LogdeUsurio1Click(TObject* Sender);
    void mnuGerenciar_nfeClick(TObject* Sender);
    void InutilizaodeNumeraoNFe1Click(TObject* Sender);
    void VerificarStatusServioNFe1Click(TObject* Sender);
    void ManutenoManualsomenteMaster1Click(TObject* Sender);
    // One tick of the NF-e answer poller: the timer is stopped while the
    // answers are read and their messages shown, and always started again
    // while the database is open.
    void TimerNFeTimer(TObject* Sender);
    void Produtos1Click(TObject* Sender);
    void ImportaDadosOSKEAntigo1Click(TObject* Sender);
    void ConsultaNFenaSefaz1Click(TObject* Sender);
    void ConsultaInutilizaoSefaz1Click(TObject* Sender);

    // The program's own icon on every window (from the picture inside the
    // program) and its desktop entry's name.
    static void InstallProgramIcon();

    // The addresses the links button opens.
    static constexpr const char* kConsultaNFe = "https://www.nfe.fazenda.gov.br/portal/consultaRecaptcha.aspx";
    static constexpr const char* kConsultaInutilizacao =
        "https://www.nfe.fazenda.gov.br/portal/consultaInutilizacao.aspx";

    // Whether the first activation already ran the login.
    bool LoginDone() const { return loginDone_; }

private:
    void BuildMenu();
    // After the chooser: the INI names the chosen database, which opens.
    void OpenChosenDatabase();
    void BuildToolbar();
    // Icon: a freedesktop icon name ("" for none: menus that open sub-menus).
    TMenuItem* AddItem(TMenuItem* Parent, const std::string& Name, const std::string& Caption,
                       const std::string& Icon, std::function<void()> Command, const std::string& Hint = "");
    // A command behind the rights key: nothing happens when refused.
    void Guarded(const std::string& Key, const std::function<void()>& Open);
    // A calculator found on the PATH; "" when none.
    static std::string FindCalculator();

    std::unique_ptr<billing::data::AppFiles> files_;
    std::unique_ptr<billing::nfe::AnswerPoller> poller_;
    bool loginDone_ = false;
    bool loginRunning_ = false;
};

extern TfrmOske_Nf* frmOske_Nf;
