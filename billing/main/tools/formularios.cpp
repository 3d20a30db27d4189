// Pictures of every register, document, NF-e and listing form as the clerk
// sees it: the program on a fresh database in the given folder (a few demo
// rows added, so that the grids, the invoice and the NF-e desk show what
// they show on a working day), each form opened from its menu command in
// the maximised main window, the whole screen saved. Run it on a virtual
// screen of the size to check, with a window manager:
//   scripts/screenshots-forms 1024x768 /tmp/telas-1024
// or directly (then the pictures hold the windows without decorations):
//   faturamento-formularios <folder>  ->  <folder>/<form>.png
// The exit code is 0 when every picture was written.
#include <cstdio>
#include <filesystem>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include <QApplication>
#include <QGuiApplication>
#include <QPixmap>
#include <QScreen>
#include <QTimer>
#include <QWidget>

#include "billing/data/dmdbu.h"
#include "billing/forms/FormUtils.h"
#include "billing/forms/Nota220.h"
#include "billing/main/tools/StartInFolder.h"
#include "billing/main/uoskerun.h"
#include "platform/db/SQLConnection.h"
#include "platform/rtl/DateUtils.h"
#include "platform/rtl/Strings.h"
#include "platform/rtl/SysUtils.h"
#include "platform/ui/Forms.h"
#include "platform/ui/Menus.h"

namespace {

bool Save(const std::string& path) {
    QApplication::processEvents();
    // The whole screen, with the window manager's frames, when there is a
    // real display; the main window alone on an offscreen one.
    QPixmap shot;
    if (QGuiApplication::platformName() == "xcb") shot = QGuiApplication::primaryScreen()->grabWindow(0);
    if (shot.isNull()) shot = frmOske_Nf->Widget()->window()->grab();
    bool ok = shot.save(QString::fromStdString(path), "PNG");
    if (ok) std::printf("gravado %s\n", path.c_str());
    else std::fprintf(stderr, "FALHOU: não foi possível gravar %s\n", path.c_str());
    return ok;
}

void Exec(const std::string& Sql, const std::vector<std::pair<std::string, Variant>>& Params = {}) {
    dmdb->ADOConnection->Execute(Sql, Params);
}

// What a working day's database holds: the registers an invoice names and
// invoices in every NF-e state, so that the pictures show filled grids.
void DemoRows() {
    Exec("insert into uf (id_uf, uf) select 41, 'PR' where not exists (select 1 from uf where id_uf = 41)");
    Exec("insert into municipio (id_municipio, nome, id_uf) select 4106902, 'Curitiba', 41 "
         "where not exists (select 1 from municipio where id_municipio = 4106902)");
    Exec("update emitente set Nome = 'Indústria de Parafusos Ltda', Nome_Fantasia = 'Parafusos', "
         "Cnpj = '12345678000195', Inscricao_Estadual = '10123456-89', Endereco = 'Rua XV de Novembro', "
         "Numero_Endereco = '100', Bairro = 'Centro', Cep = '80020000', Telefone = '4133334444', "
         "Id_Municipio = 4106902, Id_Uf = '41'");
    Exec("insert into vendedor (Id_Vendedor, Nome, Percentual_Comissao) values (3, 'Ana Souza', 2.5)");
    Exec("insert into cliente (Id_Cliente, Nome, Nome_Fantasia, Endereco, Numero_Endereco, Bairro, Cep, Telefone, "
         "Id_Municipio, CPF_CNPJ, Natureza, IE_RG, Id_Vendedor) values ('0000027', 'Comercial Silva Ltda', "
         "'Silva', 'Av. Sete de Setembro', '200', 'Batel', '80240000', '4132221111', 4106902, '11222333000181', "
         "'Jurídica', 'ISENTO', 3)");
    Exec("insert into transportador (Id_Transportador, Nome, Endereco, Id_Municipio, Natureza, CPF_CNPJ, "
         "Placa_Veiculo, UF_Veiculo) values (7, 'Transportes Rápidos', 'Rod. BR-116', 4106902, 'Jurídica', "
         "'33444555000181', 'ABC1234', 'PR')");
    Exec("insert into conta_corrente (id_conta_corrente, descricao) values (1, 'Banco do Brasil')");
    Exec("insert into cfop (Id_CFOP, Descricao) values ('5102', 'Venda de mercadoria adquirida de terceiros')");
    Exec("insert into situacao_tributaria (Id_Situacao_Tributaria, Descricao) values "
         "('000', 'Tributada integralmente')");
    Exec("insert into unidade_medida (Id_Unidade_Medida, Descricao) values ('UN', 'Unidade')");
    Exec("insert into produto (Id_Produto, Descricao, Descricao_Abreviada, Id_Unidade_Medida, Id_CST_Estadual, "
         "Aliq_ICMS_Estadual, Preco_Venda) values ('00001', 'Parafuso sextavado 1/4 x 2', 'PARAFUSO', 'UN', '000', "
         "18, 2.3)");
    Exec("insert into serie_documento (Id_Serie_Documento, Proximo_Numero) values (1, 8)");
    Exec("update opcao set id_transportador = 7, id_conta_corrente = 1, id_cfop = '5102', id_cliente = '0000027', "
         "id_serie_documento = 1, id_vendedor = 3, ambiente = '2 - Homologação'");
    const char* states[] = {"Em Digitação", "Gerada", "Aguardando", "Autorizada", "Erro", "Cancelada", "Denegada"};
    for (int i = 0; i < 7; ++i) {
        const int numero = i + 1;
        const std::string registro = "001" + IntToStrZero(numero, 7);
        Exec("insert into nota_fiscal (Id_Registro, Id_Nota_Fiscal, Id_Serie_Documento, Id_Cliente, Id_CFOP, "
             "Id_Vendedor, Id_Transportador, Id_Conta_Corrente, Data_Emissao, Data_Saida, Valor_Base_Calculo, "
             "Valor_ICMS, Valor_Produto, Valor_Frete, Valor_Seguro, Valor_Desconto, Peso_Bruto, Peso_Liquido, "
             "Valor_Total_Nota, Tipo_Emissao, Finalidade_Emissao, Situacao_NFE, Tipo_Impressao_DANFE, "
             "Forma_Pagamento, Modalidade_Frete) values (:preg, :pnum, 1, '0000027', '5102', 3, 7, 1, :pemi, "
             ":pemi, 230, 41.4, 230, 12.5, 0, 0, 10.25, 9.75, 242.5, '1 - Normal', '1 - NF-e normal', :psit, "
             "'1 - Retrato', '0 - Pagamento a Vista', '0 - Por conta do Emitente')",
             {{"preg", Variant(registro)},
              {"pnum", Variant(numero)},
              {"pemi", Variant::FromDateTime(Date())},
              {"psit", Variant(std::string(states[i]))}});
        Exec("insert into nota_fiscal_item (Id_Registro, Id_Nota_Fiscal, Id_Serie_Documento, Id_Produto, "
             "Id_Unidade_Medida, Id_Situacao_Tributaria, Quantidade, Valor_Unitario, Valor_Total, Id_CFOP, "
             "Aliquota_icms, Valor_icms) values (:preg, :pnum, 1, '00001', 'UN', '000', 100, 2.3, 230, '5102', 18, "
             "41.4)",
             {{"preg", Variant(registro)}, {"pnum", Variant(numero)}});
    }
}

// Runs the menu command of that name, as a click on it does.
void Menu(TfrmOske_Nf* Window, const std::string& Name) {
    if (auto* item = dynamic_cast<TMenuItem*>(Window->FindComponent(Name))) item->Click();
}

struct Shot {
    const char* file;
    std::function<void(TfrmOske_Nf*)> open;
};

}  // namespace

int main(int argc, char** argv) {
    std::string out;
    if (int code = billing::tools::StartInFolder(argc, argv, out)) return code;
    // The answer timer's boxes about folders not set belong to another picture.
    frmOske_Nf->OnNFeAnswers = nullptr;

    const std::vector<Shot> shots = {
        {"nota200-nota-fiscal", [](TfrmOske_Nf* w) { w->mnuLancar_VendaClick(w); }},
        {"nota201-romaneio", [](TfrmOske_Nf* w) { w->EmitirRomaneio1Click(w); }},
        {"nota232-gerenciar-nfe", [](TfrmOske_Nf* w) { w->mnuGerenciar_nfeClick(w); }},
        {"nota231-inutilizar", [](TfrmOske_Nf* w) { w->InutilizaodeNumeraoNFe1Click(w); }},
        {"nota230-status-servico", [](TfrmOske_Nf* w) { w->VerificarStatusServioNFe1Click(w); }},
        {"nota100-clientes", [](TfrmOske_Nf* w) { w->mnuClientesClick(w); }},
        {"nota101-produtos", [](TfrmOske_Nf* w) { w->mnuProdutosClick(w); }},
        {"nota102-vendedores", [](TfrmOske_Nf* w) { w->mnuNota103Click(w); }},
        {"nota103-transportadoras", [](TfrmOske_Nf* w) { w->mnuTransportadorasClick(w); }},
        {"nota104-cfop", [](TfrmOske_Nf* w) { w->mnuNota105Click(w); }},
        {"nota106-situacao-tributaria", [](TfrmOske_Nf* w) { w->mnuNota106Click(w); }},
        {"nota107-contas-corrente", [](TfrmOske_Nf* w) { w->mnuConta_CorrenteClick(w); }},
        {"nota108-condicoes-pagamento", [](TfrmOske_Nf* w) { w->mnuCondicao_PagamentoClick(w); }},
        {"nota110-emitente", [](TfrmOske_Nf* w) { w->Emitente1Click(w); }},
        {"nota111-usuarios", [](TfrmOske_Nf* w) { w->Usurios1Click(w); }},
        {"nota115-opcoes", [](TfrmOske_Nf* w) { w->mnuCfgConfiguraClick(w); }},
        {"nota118-series", [](TfrmOske_Nf* w) { w->SrieDocumentos1Click(w); }},
        {"nota119-unidades", [](TfrmOske_Nf* w) { w->UnidadesdeMedida1Click(w); }},
        {"nota221-log", [](TfrmOske_Nf* w) { w->LogdeUsurio1Click(w); }},
        {"nota233-exportacao", [](TfrmOske_Nf* w) { w->ImportaDadosOSKEAntigo1Click(w); }},
        {"nota300-relatorio-clientes", [](TfrmOske_Nf* w) { Menu(w, "Clientes1"); }},
        {"nota301-relatorio-produtos", [](TfrmOske_Nf* w) { w->Produtos1Click(w); }},
        {"nota403-notas-emitidas", [](TfrmOske_Nf* w) { Menu(w, "NotasFiscaisEmitidas1"); }},
        {"nota409-resumo-vendas", [](TfrmOske_Nf* w) { Menu(w, "ResumoMovimento1"); }},
    };
    std::size_t saved = 0;
    std::size_t next = 0;
    // One form at a time: opened, pictured once it has settled, closed.
    std::function<void()> step = [&] {
        if (next == shots.size()) {
            Application->Terminate();
            return;
        }
        const Shot& s = shots[next++];
        s.open(frmOske_Nf);
        QTimer::singleShot(700, qApp, [&, file = std::string(s.file)] {
            saved += Save(out + "/" + file + ".png");
            for (int i = frmOske_Nf->MDIChildCount() - 1; i >= 0; --i) frmOske_Nf->MDIChildren(i)->Close();
            QTimer::singleShot(200, qApp, step);
        });
    };
    frmOske_Nf->ShowLogin = [&] {
        TfrmNota220 login(nullptr);
        QTimer::singleShot(300, qApp, [&] {
            login.dbeId_Usuario->SetText("Admin");
            login.dbeSenha->SetText("truve");
            login.btnOkClick(nullptr);
        });
        TModalResult result = login.ShowModal();
        if (result != mrOk) {
            std::fprintf(stderr, "FALHOU: o login não foi aceito\n");
            return result;
        }
        DemoRows();
        QTimer::singleShot(700, qApp, step);
        return result;
    };
    Application->Run();
    return saved == shots.size() ? 0 : 1;
}
