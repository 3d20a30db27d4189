#include "platform/rtl/IniFiles.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "platform/rtl/Strings.h"
#include "tests/platform/rtl/FileFaultSupport.h"
#include "tests/support/TestSupport.h"

namespace fs = std::filesystem;
using testsupport::DataPath;
using testsupport::ReadAll;
using testsupport::TempDir;
using testsupport::WriteAll;

namespace {

// A working copy of a committed INI, and its original bytes.
struct IniCopy {
    TempDir dir;
    std::string path;
    std::string original;
    explicit IniCopy(const std::string& name) {
        path = dir.file(name);
        original = ReadAll(DataPath("rtl/ini/" + name));
        EXPECT_FALSE(original.empty());
        WriteAll(path, original);
    }
    // The original with one piece of bytes replaced.
    std::string With(const std::string& from, const std::string& to) const {
        std::string s = original;
        auto p = s.find(from);
        EXPECT_NE(p, std::string::npos) << from;
        return s.replace(p, from.size(), to);
    }
};

std::vector<std::string> ItemsOf(const TStrings& s) {
    std::vector<std::string> v;
    for (int i = 0; i < s.Count(); ++i) v.push_back(s[i]);
    return v;
}

}  // namespace

TEST(IniFile, WritingAKeyChangesOnlyThatKeysBytes) {
    IniCopy ini("settings.ini");
    TIniFile f(ini.path);
    f.WriteString("geral", "USUARIO", "maria josé");
    // Key spelling, the file's CRLF, comments, accents and every other line stay.
    EXPECT_EQ(ReadAll(ini.path), ini.With("Usuario=joão\r\n", "Usuario=maria josé\r\n"));

    // Blanks around "=" are the file's style and stay too.
    f.WriteString("Geral", "Empresa", "Padaria Nova");
    EXPECT_EQ(ReadAll(ini.path), ini.With("Usuario=joão\r\n", "Usuario=maria josé\r\n")
                                     .replace(ini.original.find("Empresa = Padaria São João Ltda. "),
                                              std::string("Empresa = Padaria São João Ltda. ").size(),
                                              "Empresa = Padaria Nova"));
}

TEST(IniFile, WritingTheSameValueLeavesTheFileAlone) {
    IniCopy ini("settings.ini");
    auto before = fs::last_write_time(ini.path);
    {
        TIniFile f(ini.path);
        f.WriteString("Geral", "Usuario", "joão");
        f.WriteInteger("CONFIGURAÇÃO", "série", 1);
        f.WriteBool("configuração", "AtivarLog", true);
    }
    EXPECT_EQ(ReadAll(ini.path), ini.original);
    EXPECT_EQ(fs::last_write_time(ini.path), before);
}

TEST(IniFile, NewKeysAndSections) {
    IniCopy ini("settings.ini");
    TIniFile f(ini.path);
    // At the end of the section's keys, before the blank line and comment that close it.
    f.WriteString("GERAL", "Versao", "3.1");
    EXPECT_EQ(ReadAll(ini.path), ini.With("Usuario=joão\r\n", "Usuario=joão\r\nVersao=3.1\r\n"));

    f.WriteString("Novo", "Chave", "Valor");
    EXPECT_EQ(ReadAll(ini.path), ini.With("Usuario=joão\r\n", "Usuario=joão\r\nVersao=3.1\r\n") +
                                     "\r\n[Novo]\r\nChave=Valor\r\n");
    EXPECT_EQ(f.ReadString("novo", "CHAVE", ""), "Valor");
}

TEST(IniFile, Reading) {
    IniCopy ini("settings.ini");
    TIniFile f(ini.path);
    EXPECT_EQ(f.ReadString("GERAL", "caminho", "?"), "/srv/faturamento/dados.db");
    EXPECT_EQ(f.ReadString("Geral", "Empresa", "?"), "Padaria São João Ltda.") << "blanks trimmed";
    EXPECT_EQ(f.ReadString("Geral", "Impressora", "?"), "HP LaserJet ") << "quotes removed";
    EXPECT_EQ(f.ReadString("configuração", "SÉRIE", "?"), "1") << "accented names fold too";
    EXPECT_EQ(f.ReadString("Geral", "Extra", "?"), "segunda ocorrência") << "a repeated section adds to the first";
    EXPECT_EQ(f.ReadString("Geral", "Ausente", "padrão"), "padrão");
    EXPECT_EQ(f.ReadString("Nenhuma", "Caminho", ""), "");
    EXPECT_EQ(f.ReadInteger("Configuração", "Ambiente", 0), 2);
    EXPECT_EQ(f.ReadInteger("Configuração", "Tolerancia", 0), 31);
    EXPECT_EQ(f.ReadInteger("Geral", "Usuario", -5), -5);
    EXPECT_TRUE(f.SectionExists("pluginDESCONHECIDO"));
    EXPECT_FALSE(f.SectionExists("Plugin"));
    EXPECT_TRUE(f.ValueExists("PluginDesconhecido", "X"));
    EXPECT_FALSE(f.ValueExists("PluginDesconhecido", "chave estranha sem igual"));

    TStringList l;
    f.ReadSections(l);
    EXPECT_EQ(ItemsOf(l), (std::vector<std::string>{"Geral", "Configuração", "PluginDesconhecido"}));
    f.ReadSection("geral", &l);
    EXPECT_EQ(ItemsOf(l), (std::vector<std::string>{"Caminho", "Empresa", "Impressora", "Usuario", "Extra"}));
    f.ReadSectionValues("Configuração", l);
    EXPECT_EQ(ItemsOf(l), (std::vector<std::string>{"Série=1", "Ambiente=2", "AtivarLog=1", "Tolerancia=$1F"}));
}

TEST(IniFile, Booleans) {
    TempDir dir;
    std::string path = dir.file("b.ini");
    WriteAll(path, "[B]\nUm=1\nZero=0\nMenos=-1\nTexto=true\nSim=sim\nHex=0x10\nVazio=\n");
    TMemIniFile f(path);
    EXPECT_TRUE(f.ReadBool("B", "Um", false));
    EXPECT_FALSE(f.ReadBool("B", "Zero", true));
    EXPECT_TRUE(f.ReadBool("B", "Menos", false));
    EXPECT_TRUE(f.ReadBool("B", "Hex", false));
    // Anything that is not a number gives the default, as the class library reads it.
    EXPECT_FALSE(f.ReadBool("B", "Texto", false));
    EXPECT_TRUE(f.ReadBool("B", "Sim", true));
    EXPECT_TRUE(f.ReadBool("B", "Vazio", true));
    EXPECT_FALSE(f.ReadBool("B", "Falta", false));
    f.WriteBool("B", "Texto", true);
    f.WriteBool("B", "Um", false);
    f.UpdateFile();
    EXPECT_EQ(ReadAll(path), "[B]\nUm=0\nZero=0\nMenos=-1\nTexto=1\nSim=sim\nHex=0x10\nVazio=\n");
}

TEST(IniFile, ValuesComeBackAsWritten) {
    TempDir dir;
    std::string path = dir.file("v.ini");
    {
        TIniFile f(path);
        f.WriteString("S", "Espacos", "  com espaços  ");
        f.WriteString("S", "Aspas", "\"entre aspas\"");
        f.WriteString("S", "Apostrofo", "'x'");
        f.WriteString("S", "Igual", "a=b;c");
        f.WriteString("S", "Vazio", "");
        f.WriteInteger("S", "Negativo", -42);
    }
    TIniFile f(path);
    EXPECT_EQ(f.ReadString("S", "Espacos", "?"), "  com espaços  ");
    EXPECT_EQ(f.ReadString("S", "Aspas", "?"), "\"entre aspas\"");
    EXPECT_EQ(f.ReadString("S", "Apostrofo", "?"), "'x'");
    EXPECT_EQ(f.ReadString("S", "Igual", "?"), "a=b;c");
    EXPECT_EQ(f.ReadString("S", "Vazio", "?"), "");
    EXPECT_TRUE(f.ValueExists("S", "Vazio"));
    EXPECT_EQ(f.ReadInteger("S", "Negativo", 0), -42);
}

TEST(IniFile, RefusesWhatTheFormatCannotHold) {
    IniCopy ini("settings.ini");
    TIniFile f(ini.path);
    // A line break would forge a new section or key in the file.
    EXPECT_THROW(f.WriteString("Geral", "Usuario", "x\n[Admin]\nSenha=1"), EIniFileException);
    EXPECT_THROW(f.WriteString("Geral", "a=b", "1"), EIniFileException);
    EXPECT_THROW(f.WriteString("Geral", "", "1"), EIniFileException);
    EXPECT_THROW(f.WriteString("Geral", ";comentario", "1"), EIniFileException);
    EXPECT_THROW(f.WriteString("Ge]ral", "k", "1"), EIniFileException);
    EXPECT_THROW(f.WriteString("Ge\nral", "k", "1"), EIniFileException);
    EXPECT_EQ(ReadAll(ini.path), ini.original);
    try {
        f.WriteString("Geral", "Obs", "linha 1\r\nlinha 2");
    } catch (const EIniFileException& e) {
        EXPECT_NE(e.Message().find("quebra de linha"), std::string::npos) << e.Message();
    }
}

TEST(IniFile, EraseSectionAndDeleteKey) {
    IniCopy ini("settings.ini");
    TIniFile f(ini.path);
    f.DeleteKey("CONFIGURAÇÃO", "ambiente");
    EXPECT_EQ(ReadAll(ini.path), ini.With("Ambiente=2\r\n", ""));
    f.DeleteKey("Configuração", "Inexistente");
    f.EraseSection("PluginDesconhecido");
    std::string expected = ini.With("Ambiente=2\r\n", "");
    std::string plugin = "[PluginDesconhecido]\r\nchave estranha sem igual\r\nx=1\r\n=sem nome\r\n\r\n";
    ASSERT_NE(expected.find(plugin), std::string::npos);
    expected.erase(expected.find(plugin), plugin.size());
    EXPECT_EQ(ReadAll(ini.path), expected);
    // Both occurrences of a repeated section go.
    f.EraseSection("GERAL");
    EXPECT_FALSE(f.SectionExists("Geral"));
    EXPECT_EQ(f.ReadString("Geral", "Extra", "-"), "-");
    EXPECT_TRUE(f.SectionExists("Configuração"));
}

TEST(IniFile, OlderWindowsFileStaysInItsCodePage) {
    IniCopy ini("windows-1252.ini");
    TIniFile f(ini.path);
    EXPECT_EQ(f.Encoding(), TEncoding::ANSI);
    EXPECT_EQ(f.ReadString("empresa", "cidade", ""), "Ribeirão Preto");
    f.WriteString("Empresa", "Razao", "Açougue União");
    EXPECT_EQ(ReadAll(ini.path), ini.With("Razao=Padaria S\xE3o Jo\xE3o\n", "Razao=A\xE7ougue Uni\xE3o\n"));

    // A character 1252 cannot hold: the file moves to UTF-8 rather than lose it.
    f.WriteString("Empresa", "Obs", "Ação ✓");
    std::string now = ReadAll(ini.path);
    EXPECT_TRUE(utf8::IsValid(now));
    EXPECT_EQ(now, "[Empresa]\nRazao=Açougue União\nCidade=Ribeirão Preto\n; comentário antigo\n"
                   "Preco=R$ 1,50\nObs=Ação ✓\n");
    TIniFile again(ini.path);
    EXPECT_EQ(again.Encoding(), TEncoding::UTF8);
    EXPECT_EQ(again.ReadString("Empresa", "Obs", ""), "Ação ✓");
}

TEST(IniFile, TheEncodingDecision) {
    using textio::Decode;
    EXPECT_EQ(Decode("Jo\xC3\xA3o").encoding, TEncoding::UTF8);
    EXPECT_EQ(Decode("Jo\xE3o").encoding, TEncoding::ANSI);
    EXPECT_EQ(Decode("Jo\xE3o").text, "João");
    EXPECT_EQ(Decode("plain ascii").encoding, TEncoding::UTF8);
    // A UTF-8 sequence cut short at the end is not UTF-8.
    EXPECT_EQ(Decode("abc\xC3").encoding, TEncoding::ANSI);
    auto bom = Decode("\xEF\xBB\xBFJo\xC3\xA3o", TEncoding::ANSI);
    EXPECT_TRUE(bom.bom);
    EXPECT_EQ(bom.encoding, TEncoding::UTF8) << "a BOM outweighs what was asked";
    EXPECT_EQ(bom.text, "João");
    EXPECT_EQ(Decode("Jo\xC3\xA3o", TEncoding::ANSI).text, "JoÃ£o") << "asked for 1252, 1252 it is";
}

TEST(IniFile, ByteOrderMarkAndMissingFinalLineBreak) {
    TempDir dir;
    std::string path = dir.file("bom.ini");
    WriteAll(path, "\xEF\xBB\xBF[Sec]\nA=á");
    TIniFile f(path);
    EXPECT_EQ(f.ReadString("SEC", "a", ""), "á");
    f.WriteString("Sec", "B", "2");
    EXPECT_EQ(ReadAll(path), "\xEF\xBB\xBF[Sec]\nA=á\nB=2\n");
}

TEST(IniFile, MissingFileIsEmptyAndOnlyWritingCreatesIt) {
    TempDir dir;
    std::string path = dir.file("novo.ini");
    {
        TIniFile f(path);
        EXPECT_EQ(f.ReadString("A", "B", "def"), "def");
        EXPECT_FALSE(f.SectionExists("A"));
        f.EraseSection("A");
        f.DeleteKey("A", "B");
    }
    EXPECT_FALSE(fs::exists(path));
    {
        TIniFile f(path);
        f.WriteString("Banco", "Arquivo", "/dados/fat.db");
        f.WriteInteger("Banco", "Versao", 7);
    }
    EXPECT_EQ(ReadAll(path), "[Banco]\nArquivo=/dados/fat.db\nVersao=7\n");
}

TEST(IniFile, MemIniFileWritesOnlyOnUpdateFile) {
    IniCopy ini("settings.ini");
    {
        TMemIniFile m(ini.path);
        m.WriteString("Geral", "Usuario", "ana");
        EXPECT_EQ(m.ReadString("Geral", "Usuario", ""), "ana");
        EXPECT_EQ(ReadAll(ini.path), ini.original);
    }
    EXPECT_EQ(ReadAll(ini.path), ini.original) << "destruction does not write";
    TMemIniFile m(ini.path);
    m.WriteString("Geral", "Usuario", "ana");
    m.UpdateFile();
    EXPECT_EQ(ReadAll(ini.path), ini.With("Usuario=joão", "Usuario=ana"));
}

TEST(IniFile, WholeContentAsLines) {
    IniCopy ini("windows-1252.ini");
    TMemIniFile m(ini.path);
    TStringList lines;
    m.GetStrings(lines);
    ASSERT_EQ(lines.Count(), 5);
    EXPECT_EQ(lines[1], "Razao=Padaria São João");
    lines.Add("[Nova]");
    lines.Add("Chave=Pão");
    m.SetStrings(lines);
    EXPECT_EQ(m.ReadString("nova", "chave", ""), "Pão");
    m.UpdateFile();
    EXPECT_EQ(ReadAll(ini.path), ini.original + "[Nova]\nChave=P\xE3o\n");
    m.Clear();
    m.UpdateFile();
    EXPECT_EQ(ReadAll(ini.path), "");
}

TEST(IniFile, TwoWritersOnTheSameFileDoNotUndoEachOther) {
    TempDir dir;
    std::string path = dir.file("shared.ini");
    TIniFile a(path);
    TIniFile b(path);
    a.WriteString("S", "FromA", "1");
    b.WriteString("S", "FromB", "2");
    EXPECT_EQ(a.ReadString("S", "FromB", ""), "2");
    a.WriteString("S", "FromA", "3");
    EXPECT_EQ(ReadAll(path), "[S]\nFromA=3\nFromB=2\n");
}

TEST(IniFile, FailedWriteKeepsThePreviousFile) {
    TempDir dir;
    std::string path = dir.file("grande.ini");
    std::string original = "; cabeçalho\n[Dados]\nA=1\n";
    WriteAll(path, original);
    {
        TIniFile f(path);
        filefaults::DiskFullAfter limit(4096);
        EXPECT_THROW(f.WriteString("Dados", "Blob", filefaults::Filler(20000)), EWriteError);
        // What the object answers matches the file, not the lost change.
        EXPECT_EQ(f.ReadString("Dados", "Blob", "none"), "none");
    }
    EXPECT_EQ(ReadAll(path), original);
    EXPECT_EQ(filefaults::Entries(dir.path()), std::vector<std::string>{"grande.ini"});

    {
        TMemIniFile m(path);
        m.WriteString("Dados", "Blob", filefaults::Filler(20000));
        filefaults::DiskFullAfter limit(4096);
        EXPECT_THROW(m.UpdateFile(), EWriteError);
    }
    EXPECT_EQ(ReadAll(path), original);
    EXPECT_EQ(filefaults::Entries(dir.path()), std::vector<std::string>{"grande.ini"});
}

TEST(IniFile, NumbersAndDatesInTheLocalNotation) {
    TempDir dir;
    std::string path = dir.file("n.ini");
    TIniFile f(path);
    f.WriteFloat("N", "Aliquota", 17.5);
    EXPECT_EQ(f.ReadString("N", "Aliquota", ""), "17,5");
    EXPECT_DOUBLE_EQ(f.ReadFloat("N", "Aliquota", 0), 17.5);
    f.WriteString("N", "Ruim", "dezessete");
    EXPECT_DOUBLE_EQ(f.ReadFloat("N", "Ruim", -1), -1);
    f.WriteDate("N", "Inicio", EncodeDate(2024, 3, 9));
    EXPECT_EQ(f.ReadString("N", "Inicio", ""), "09/03/2024");
    EXPECT_DOUBLE_EQ(f.ReadDate("N", "Inicio", 0), EncodeDate(2024, 3, 9));
    EXPECT_DOUBLE_EQ(f.ReadDate("N", "Ruim", 1.0), 1.0);
}
