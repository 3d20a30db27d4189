#pragma once
// What the people-and-places registers (clients, carriers, the issuer) share
// beyond the register pattern: the municipality lookup that fills a name and
// a state panel, the CPF or CNPJ mask chosen by a person's nature, the
// duplicate message for a key clash the database itself reports (two users
// saving the same new key at once), and dressing the query's fields with
// their masks and display formats each time the query opens.
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "billing/forms/FormUtils.h"
#include "billing/forms/RegisterForm.h"
#include "platform/db/DB.h"
#include "platform/ui/DBCtrls.h"
#include "platform/ui/Dialogs.h"
#include "platform/ui/ExtCtrls.h"

namespace billing::forms {

inline constexpr const char* kMascaraCNPJ = "##.###.###/####-##;0; ";
inline constexpr const char* kMascaraCPF = "###.###.###-##;0; ";

// The CNPJ mask for "Jurídica" exactly, the CPF mask for anything else.
std::string MascaraCpfCnpj(const std::string& Natureza);
// The cpf_cnpj field of an open DataSet takes the mask of its natureza.
void AplicaMascaraCpfCnpj(TDataSet* DataSet);

// Layout of the registers' fields: a data-aware control bound to Field of
// the form's dsMain, named "dbe" + Field unless Name is given, with Caption
// above it; Top is the caption's, the control sits 16 pixels lower.
template <typename T>
T* PlaceField(RegisterForm* Form, TWinControl* Parent, const std::string& Field, const std::string& Caption, int Left,
              int Top, int Width, const std::string& Name = {}) {
    T* c = PlaceDB<T>(Form, Parent, Name.empty() ? "dbe" + Field : Name, Form->dsMain, Field, Left, Top + 16,
                      Width, 23);
    PlaceLabel(Form, Parent, Caption, Left, Top, c);
    return c;
}
// A lookup's description panel, "?" until the lookup fills it; placed level
// with the controls of PlaceField at the same Top.
TPanel* PlaceDescricao(TComponent* Owner, TWinControl* Parent, const std::string& Name, int Left, int Top,
                       int Width);
// A drop-down list of fixed Items bound like PlaceField.
TDBComboBox* PlaceLista(RegisterForm* Form, TWinControl* Parent, const std::string& Field, const std::string& Caption,
                        int Left, int Top, int Width, std::initializer_list<const char*> Items);
// The settings row (opcao), open; empty when there is none.
std::unique_ptr<TSQLQuery> Opcoes();

inline constexpr const char* kMunicipioSql =
    "SELECT Municipio.id_municipio, Municipio.nome, UF.uf\n"
    "FROM UF INNER JOIN Municipio ON UF.id_uf = Municipio.id_uf\n"
    "where id_municipio = :pid_municipio\n"
    "ORDER BY Municipio.nome";
// Both panels "?", then the municipality's name and its state's
// abbreviation when the key of Field names one.
void MostraMunicipio(const TField* Field, TPanel* Nome, TPanel* Uf);

// A municipality key typed in Edit (bound to a field of DataSet): leaving the
// edit shows it; the edit's button asks Search (the municipality lookup by
// default) and, when something is chosen while the row is edited, writes
// the key and shows it. Mostra runs after either.
void BindMunicipio(TDataSet* DataSet, TexDBComboDlg* Edit, TPanel* Nome, TPanel* Uf,
                   std::function<std::string()> Search = nullptr);

// Logo pictures kept as a file's full path in a column of the row (the
// issuer's, a bank's).
inline constexpr const char* kFiltroImagem =
    "JPEG Image File (*.jpg)|*.jpg|JPEG Image File (*.jpeg)|*.jpeg|Bitmaps (*.bmp)|*.bmp";
// A picture open dialog owned by Owner: default extension "*.jpg" and the
// filter above.
TOpenDialog* NewLogoDialog(TComponent* Owner);
// While the row is edited: Dialog starts in the program's folder and a
// chosen file's full name goes into Column. True when one was chosen.
bool EscolheLogotipo(TDataSet* DataSet, const std::string& Column, TOpenDialog* Dialog);
// Image shows the picture of Column's trimmed path, none when it is empty.
// A file that cannot be read as a picture shows none and is reported once
// (Reported remembers the file last reported).
void MostraLogotipo(TDataSet* DataSet, const std::string& Column, TImage* Image, std::string& Reported);

// A post the database refuses for a duplicate key shows Message() (caption
// "Atenção", exclamation icon) and aborts silently, leaving the row in edit.
void ReportKeyClash(TDataSet* DataSet, std::function<std::string()> Message);

// Masks and display formats of the query's fields, applied at every open
// (the fields are made anew each time). A name the query lacks is skipped.
struct FieldDress {
    const char* field;
    const char* editMask;       // "" for none
    const char* displayFormat;  // "" for none
};
void DressFields(TDataSet* DataSet, std::vector<FieldDress> Dress);

// Every telephone of the registers: a landline's 10 digits read
// "(41) 3333-4444", a mobile's 11 "(41) 99999-8888", as typed and as shown.
inline constexpr const char* kTelefoneMask = "(##) ####-####;0; |(##) #####-####;0; ";

}  // namespace billing::forms
