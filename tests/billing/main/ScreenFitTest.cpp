// Every form of the program on a small office screen: 1024 × 768 with a
// taskbar, the main window over what is left. Each form opens as the clerk
// opens it (from its menu, over a database with a working day's rows) and
// every page of it is measured: the form inside the workspace, every control
// inside the control it sits in, every label, button, edited value, list
// value and grid heading whole in its font.
//
// The screen's size is the platform's, fixed when the Qt application
// starts: a process that already has another screen runs this test again in
// a child process of its own with the office screen.
#include <cstdlib>
#include <filesystem>
#include <functional>

#include <QGuiApplication>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QProcess>
#include <QScreen>
#include <QTabWidget>

#include "billing/forms/InformaSenha.h"
#include "billing/forms/Nota106.h"
#include "billing/forms/Nota220.h"
#include "billing/forms/Nota224.h"
#include "billing/forms/Nota225.h"
#include "billing/forms/Nota232.h"
#include "billing/forms/Pesquisa.h"
#include "billing/forms/Sobre.h"
#include "platform/ui/Menus.h"
#include "tests/billing/main/MainFixture.h"
#include "tests/billing/nfe/fake/SampleDatabase.h"
#include "tests/support/TextFit.h"

namespace {

constexpr int kScreenWidth = 1024;
constexpr int kScreenHeight = 768;
// A desktop's panel, and the title bar the window manager keeps over a
// maximised window.
constexpr int kTaskbar = 40;
constexpr int kTitleBar = 24;

bool OnTheOfficeScreen() {
    if (QGuiApplication::instance() == nullptr) return false;
    QScreen* s = QGuiApplication::primaryScreen();
    return s != nullptr && s->size() == QSize(kScreenWidth, kScreenHeight);
}

class ScreenFit : public billtest::MainWindow {
protected:
    void SetUp() override {
        if (QGuiApplication::instance() == nullptr) {
            // The first window of this process: the platform starts with the
            // office screen.
            std::string config = configDir.file("tela.json");
            testsupport::WriteAll(config, "{\"screens\": [{\"name\": \"Escritorio\", \"x\": 0, \"y\": 0, \"width\": " +
                                              std::to_string(kScreenWidth) + ", \"height\": " +
                                              std::to_string(kScreenHeight) +
                                              ", \"logicalDpi\": 96, \"dpr\": 1}]}");
            ::setenv("QT_QPA_PLATFORM", ("offscreen:configfile=" + config).c_str(), 1);
        }
        MainWindow::SetUp();
    }

    // Runs this very test in a child process that starts on the office
    // screen; its report becomes this test's.
    void RunOnTheOfficeScreen() {
        const ::testing::TestInfo* me = ::testing::UnitTest::GetInstance()->current_test_info();
        QProcess child;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("QT_QPA_PLATFORM", "offscreen");
        child.setProcessEnvironment(env);
        child.setProcessChannelMode(QProcess::MergedChannels);
        child.start(QString::fromStdString(std::filesystem::read_symlink("/proc/self/exe").string()),
                    {QString("--gtest_filter=%1.%2").arg(me->test_suite_name(), me->name())});
        ASSERT_TRUE(child.waitForFinished(600000));
        const std::string output = child.readAll().toStdString();
        EXPECT_EQ(child.exitCode(), 0) << output;
        EXPECT_NE(output.find("[  PASSED  ] 1 test"), std::string::npos) << output;
    }

    void AddWorkingDay() {
        nfetest::NFeFolders folders = nfetest::MakeFolders(dir.file("nfe"));
        nfetest::InsertRegisters(*dmdb->ADOConnection, folders);
        const char* states[] = {"Em Digitação", "Gerada", "Aguardando", "Autorizada", "Erro", "Cancelada", "Denegada"};
        for (int i = 0; i < 7; ++i)
            nfetest::InsertInvoice(*dmdb->ADOConnection, 1, i + 1, EncodeDate(2010, 6, 15), states[i], nfetest::kClient);
        dmdb->ADOConnection->Execute(
            "update nota_fiscal set valor_total_nota = 1234567.89, valor_produto = 1234567.89, "
            "valor_base_calculo = 1234567.89, valor_icms = 222222.22, valor_frete = 12345.67, "
            "valor_seguro = 1234.56, valor_desconto = 1234.56, peso_bruto = 12345.678, peso_liquido = 12345.678");
        dmdb->ADOConnection->Execute("update nota_fiscal_item set quantidade = 12345.678, valor_unitario = 123456.78, "
                                     "valor_total = 1234567.89, valor_icms = 222222.22");
        dmdb->Inicia_Banco_Dados();
    }

    // What is cut in the form as it is now shown.
    void Measure(TCustomForm* Form, const std::string& Name, const std::string& Page) {
        ++measured;
        QWidget* root = Form->Widget();
        const std::string where = Name + (Page.empty() ? "" : " (" + Page + ")");
        if (auto* frame = qobject_cast<QMdiSubWindow*>(root->parentWidget())) {
            QWidget* workspace = frame->mdiArea()->viewport();
            EXPECT_TRUE(workspace->rect().contains(frame->geometry()))
                << where << ": a janela ocupa " << frame->x() << "," << frame->y() << " " << frame->width() << "x"
                << frame->height() << " numa área de trabalho de " << workspace->width() << "x"
                << workspace->height();
        } else {
            // The lock covers the whole screen, panel included, by design.
            QRect screen(0, 0, kScreenWidth, kScreenHeight - (Name == "bloqueio" ? 0 : kTaskbar));
            EXPECT_TRUE(screen.contains(root->window()->frameGeometry()))
                << where << ": a janela ocupa " << root->window()->frameGeometry().x() << ","
                << root->window()->frameGeometry().y() << " " << root->window()->frameGeometry().width() << "x"
                << root->window()->frameGeometry().height();
        }
        for (const std::string& s : testsupport::OutsideTheirParents(root)) ADD_FAILURE() << where << ": " << s;
        for (const std::string& s : testsupport::ClippedTexts(root)) ADD_FAILURE() << where << ": " << s;
        for (const std::string& s : testsupport::ClippedValues(root)) ADD_FAILURE() << where << ": " << s;
    }
    // Every page of every tab set of the form, each measured.
    void MeasureEveryPage(TCustomForm* Form, const std::string& Name) {
        billtest::Pump();
        Measure(Form, Name, "");
        for (QTabWidget* tabs : Form->Widget()->findChildren<QTabWidget*>()) {
            const int shown = tabs->currentIndex();
            for (int i = 0; i < tabs->count(); ++i) {
                if (i == shown) continue;
                tabs->setCurrentIndex(i);
                billtest::Pump();
                Measure(Form, Name, tabs->tabText(i).toStdString());
            }
            tabs->setCurrentIndex(shown);
        }
    }

    testsupport::TempDir configDir;
    int measured = 0;
};

}  // namespace

TEST_F(ScreenFit, EveryFormFitsA1024x768ScreenWithEveryLabelAndValueWhole) {
    if (!OnTheOfficeScreen()) {
        RunOnTheOfficeScreen();
        return;
    }
    Create();
    LogInAs("Admin", "truve");
    AddWorkingDay();
    // The main window over the screen less the panel, its frame included.
    window->SetWindowState(wsNormal);
    window->SetBounds(0, 0, kScreenWidth, kScreenHeight - kTaskbar - kTitleBar);
    billtest::Pump();
    QWidget* main = window->Widget()->window();
    const QSize frame = main->frameGeometry().size() - main->geometry().size();
    window->SetBounds(0, 0, kScreenWidth - frame.width(), kScreenHeight - kTaskbar - kTitleBar - frame.height());
    main->move(0, 0);  // the frame's corner
    billtest::Pump();
    MeasureEveryPage(window, "janela principal");

    auto menu = [this](const char* Name) {
        return [this, Name] {
            auto* item = dynamic_cast<TMenuItem*>(window->FindComponent(Name));
            ASSERT_NE(item, nullptr) << Name;
            item->Click();
        };
    };
    // Every form the menus open; a new form adds its line here.
    const std::vector<std::pair<std::string, std::function<void()>>> opened = {
        {"clientes", menu("mnuClientes")},
        {"produtos", menu("mnuProdutos")},
        {"CFOP", menu("mnuNota105")},
        {"situação tributária", menu("mnuNota106")},
        {"unidades de medida", menu("UnidadesdeMedida1")},
        {"vendedores", menu("mnuNota103")},
        {"transportadoras", menu("mnuTransportadoras")},
        {"série documentos", menu("SrieDocumentos1")},
        {"condições de pagamento", menu("mnuCondicao_Pagamento")},
        {"contas corrente", menu("mnuConta_Corrente")},
        {"emitente", menu("Emitente1")},
        {"nota fiscal", menu("mnuLancar_Venda")},
        {"romaneio", menu("EmitirRomaneio1")},
        {"gerenciar NF-e", menu("mnuGerenciar_nfe")},
        {"inutilizar numeração", menu("InutilizaodeNumeraoNFe1")},
        {"status do serviço", menu("VerificarStatusServioNFe1")},
        {"notas fiscais emitidas", menu("NotasFiscaisEmitidas1")},
        {"resumo de vendas", menu("ResumoMovimento1")},
        {"relatório clientes", menu("Clientes1")},
        {"relatório produtos", menu("Produtos1")},
        {"opções", menu("mnuCfgConfigura")},
        {"alterar senha", menu("AlterarSenha1")},
        {"usuários", menu("Usurios1")},
        {"programas", [this] { window->Programas1Click(window); }},
        {"log de usuário", menu("LogdeUsurio1")},
        {"exportação contábil", menu("ImportaDadosOSKEAntigo1")},
        {"manutenção manual",
         [] {
             auto* form = new TfrmNota225(Application);
             form->AskAccessCode = [](std::string& typed) {
                 typed = "quorventalisbrake";  // the master code opens it
                 return true;
             };
             form->DoCreate();
             form->Show();
         }},
    };
    for (const auto& [name, open] : opened) {
        const int before = window->MDIChildCount();
        open();
        billtest::Pump();
        ASSERT_EQ(window->MDIChildCount(), before + 1) << name << " não abriu";
        TCustomForm* form = window->ActiveMDIChild();
        ASSERT_NE(form, nullptr) << name;
        MeasureEveryPage(form, name);
        delete form;
        billtest::Pump();
    }

    // The windows of their own, shown as they are placed.
    const std::vector<std::pair<std::string, std::function<TCustomForm*()>>> own = {
        {"login", [] { return new TfrmNota220(nullptr); }},
        {"escolha do banco de dados", [] { return new TfrmSelecionarBancoDados(nullptr); }},
        {"bloqueio", [] { return new TfrmNota224(nullptr); }},
        {"informe a senha", [] { return new TfrmInformaSenha(nullptr); }},
        {"ajuda CST", [] { return new TfrmNota106a(nullptr); }},
        {"cancelamento de NF-e", [] { return new TfrmNota232B(nullptr); }},
        {"pesquisa", [] { return new TfrmPesquisa(nullptr); }},
        {"localizar", [] { return new TfrmLocalizar(nullptr); }},
        {"sobre", [] { return new TfrmSobre(nullptr); }},
    };
    for (const auto& [name, make] : own) {
        TCustomForm* form = make();
        form->Show();
        MeasureEveryPage(form, name);
        delete form;
        billtest::Pump();
    }
    // The main window, the forms and their other pages.
    EXPECT_GE(measured, 1 + static_cast<int>(opened.size() + own.size()));
}
