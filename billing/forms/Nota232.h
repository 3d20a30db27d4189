#pragma once
// The NF-e management desk ("Gerenciamento de NF-e") and its cancellation
// dialog, thin windows over billing::nfe::NFeManagement and NFeCancellation:
// the grid of invoices with their state's image, refreshed every 4 seconds
// keeping the selected invoice, and the commands on the current one.
#include <memory>

#include <QWidget>

#include "billing/nfe/NFeManagement.h"
#include "platform/db/SQLQuery.h"
#include "platform/ui/ComCtrls.h"
#include "platform/ui/DBCtrls.h"
#include "platform/ui/DBGrids.h"
#include "platform/ui/ExtCtrls.h"
#include "platform/ui/Forms.h"
#include "platform/ui/StdCtrls.h"

class TfrmNota232 : public TForm {
public:
    FAT_CLASS_NAME(TfrmNota232)
    explicit TfrmNota232(TComponent* AOwner);
    ~TfrmNota232() override;

    billing::nfe::NFeManagement& Management() { return *management_; }

    TSQLQuery* qryNota_Fiscal = nullptr;
    TDataSource* dsMain = nullptr;
    TexDBGrid* exDBGrid1 = nullptr;
    TGroupBox* GroupBox1 = nullptr;
    TDBEdit* dbeNumero_NFe = nullptr;
    TButton* SpeedButton1 = nullptr;  // Copiar: the access key to the clipboard
    TDBEdit* dbeProtocolo_NFe = nullptr;
    TDBEdit* dbeNumero_Lote_NFE = nullptr;
    TDBEdit* dbeData_Protocolo_NFe = nullptr;
    TDBMemo* dbmErro_NFE = nullptr;
    TDBEdit* dbeRecibo_NFE = nullptr;
    TComboBox* cbMostrar = nullptr;
    TMemo* mAmbiente = nullptr;
    TButton* Button1 = nullptr;  // Transmitir
    TButton* Button3 = nullptr;  // Imprimir DANFE
    TButton* Button4 = nullptr;  // Consultar Situação
    TButton* Button5 = nullptr;  // Cancelar NF-e
    TButton* Button2 = nullptr;  // Fechar
    TButton* Button6 = nullptr;  // Localizar NFe
    TTimer* Timer1 = nullptr;

    void FormShow(TObject* Sender);
    void Mostra_Dados();
    void Atualizar_Dados();
    void Button1Click(TObject* Sender);
    void Button3Click(TObject* Sender);
    void Button4Click(TObject* Sender);
    void Button5Click(TObject* Sender);
    void Button2Click(TObject* Sender);
    void Button6Click(TObject* Sender);
    void SpeedButton1Click(TObject* Sender);
    void cbMostrarChange(TObject* Sender);
    void Timer1Timer(TObject* Sender);

    // Shows the cancellation dialog modally; tests drive the dialog instead.
    std::function<void(class TfrmNota232B* Dialog)> ShowCancellation;

private:
    std::unique_ptr<billing::nfe::NFeManagement> management_;
    std::unique_ptr<billing::nfe::AnswerWait> situation_;
};

class TfrmNota232B : public TForm {
public:
    FAT_CLASS_NAME(TfrmNota232B)
    explicit TfrmNota232B(TComponent* AOwner);
    ~TfrmNota232B() override;

    TDataSource* dsMain = nullptr;
    TDBEdit* dbeNumero_NFe = nullptr;
    TDBEdit* dbeNome_Fantasia = nullptr;
    TDBEdit* dbeProtocolo_NFe = nullptr;
    TDBEdit* dbeNome = nullptr;
    TMemo* mMotivo = nullptr;
    TButton* Button1 = nullptr;  // Confirmar
    TButton* Button2 = nullptr;  // Fechar
    TStatusBar* StatusBar1 = nullptr;

    void FormShow(TObject* Sender);
    void Button1Click(TObject* Sender);
    void Button2Click(TObject* Sender);
    bool Waiting() const;

private:
    void Finished();
    std::unique_ptr<billing::nfe::NFeCancellation> cancellation_;
};

extern TfrmNota232* frmNota232;
