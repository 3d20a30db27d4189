// The data module's boxed header of the text reports. It belongs to the data
// module, as every report calls it there, but it is drawn through TSay, which
// lives in this layer with the window toolkit; its body is kept here so that
// the data layer stays free of both.
#include "billing/controls/JLPSay.h"
#include "billing/data/Utils.h"
#include "billing/data/dmdbu.h"
#include "platform/rtl/Format.h"

void Tdmdb::TopHeader(TSay* Say, int Width, const std::string& Programa, const std::string& Titulo,
                      const std::string& SubTitulo, int Left, bool ShowClient) {
    Set_Var("nome_cliente", "QUILLMAR TECNOLOGIA");
    std::string cliente = Get_Var("nome_cliente");
    // Centred between the box's edges, shifted right by half the left margin.
    auto centre = [&](const std::string& Text) { return Centraliza_Texto(Text, Left, Width) + Left / 2; };
    const int right = Left + Width - 19;  // the right-hand items are 19 characters long
    TDateTime now = Say->Now();
    if (Say->Title().empty()) Say->SetTitle(Titulo + " - " + Programa);

    if (Say->Row() != 0) Say->NewPage();
    int row = Say->Row();
    Say->Say(row, 0, Space(Left - 1));
    Say->Say(row, Left, Replicate('*', Width));

    ++row;
    Say->Say(row, Left, "* Sys : " + Get_Var("nome_aplicativo"));
    if (ShowClient) Say->Say(row, centre(cliente), cliente);
    Say->Say(row, right, "Pag. : " + IntToStrZero(Say->Page(), 10) + " *");

    ++row;
    Say->Say(row, Left, "* Prg : " + Programa);
    Say->Say(row, centre(Titulo), Titulo);
    Say->Say(row, right, "Data : " + FormatDateTime("dd/mm/yyyy", now) + " *");

    ++row;
    Say->Say(row, Left, "* Sup : QUILLMAR");
    Say->Say(row, centre(SubTitulo), SubTitulo);
    Say->Say(row, right, "Hora : " + FormatDateTime("hh:nn:ss", now) + "   *");

    ++row;
    Say->Say(row, Left, Replicate('*', Width));
}
