#include "billing/main/ReleaseCheck.h"

#include <unistd.h>

#include <filesystem>

#include <QWidget>

#include "billing/forms/FormUtils.h"
#include "platform/os/Process.h"
#include "platform/rtl/IniFiles.h"
#include "platform/rtl/SafeFile.h"
#include "platform/rtl/Strings.h"

namespace fs = std::filesystem;
using billing::forms::AskYesNo;
using billing::forms::Box;

namespace billing::main {

namespace {

constexpr std::size_t kSmallFile = 64 * 1024;
constexpr std::size_t kLargestProgram = std::size_t(1) << 30;

bool Writable(const std::string& Folder) { return ::access(Folder.c_str(), W_OK) == 0; }

}  // namespace

ReleaseCheck::Settings::Settings() {
    check.connectTimeoutMs = 5000;
    check.totalTimeoutMs = 15000;
    check.maxBytes = kSmallFile;
    download.connectTimeoutMs = 5000;
    download.totalTimeoutMs = 0;
    download.lowSpeedBytes = 1;
    download.lowSpeedSeconds = 15;
    download.maxBytes = kLargestProgram;
    // What the program runs comes only over TLS with a verified certificate.
    check.httpsOnly = true;
    download.httpsOnly = true;
}

ReleaseCheck::ReleaseCheck(Settings Values) : settings_(std::move(Values)) {
    if (!settings_.trustedCertificates.empty()) {
        settings_.check.trustedCertificates = settings_.trustedCertificates;
        settings_.download.trustedCertificates = settings_.trustedCertificates;
    }
    StartProgram = [](const std::string& Program, const std::vector<std::string>& Args) {
        return os::StartProgram(Program, Args);
    };
    FolderWritable = Writable;
}

bool ReleaseCheck::Newer(const std::string& Available, const std::string& Current) {
    return CompareStr(AnsiUpperCase(Trim(Available)), AnsiUpperCase(Trim(Current))) > 0;
}

std::string ReleaseCheck::FileAddress(const std::string& Address, const std::string& Name) {
    std::string base = Trim(Address);
    if (!base.empty() && base.back() != '/') base += '/';
    return base + Name;
}

std::string ReleaseCheck::PublishedDigest(const std::string& Text) {
    std::string t = TrimLeft(Text);
    std::string digest = LowerCase(t.substr(0, t.find_first_of(" \t\r\n")));
    if (digest.size() != 64) return {};
    for (char c : digest)
        if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'))) return {};
    return digest;
}

std::optional<std::string> ReleaseCheck::AvailableVersion() {
    std::string body;
    if (!os::DownloadToString(FileAddress(settings_.address, "versao.inf"), body, settings_.check).ok)
        return std::nullopt;
    TStringList lines;
    lines.SetText(Cp1252ToUtf8(body));
    TMemIniFile ini("");
    ini.SetStrings(lines);
    return AnsiUpperCase(Trim(ini.ReadString("Versao", "Aplicativo", "")));
}

ReleaseCheck::Outcome ReleaseCheck::Run() {
    const std::string address = Trim(settings_.address);
    if (address.empty()) return Outcome::NoAddress;
    if (settings_.check.httpsOnly && !SameText(address.substr(0, 8), "https://")) {
        Box("O endereço de atualização \"" + address +
                "\" não começa com https://. Por segurança, novas versões só são procuradas e baixadas por "
                "https, com o certificado do site verificado. Corrija o endereço no arquivo de configuração.",
            "Atenção");
        return Outcome::NotSecure;
    }
    // Before the site is asked: a file that cannot be read is a setting to
    // mend, which the silence kept for an unreachable site would hide.
    std::string readBefore;
    for (const std::string& file : {settings_.check.trustedCertificates, settings_.download.trustedCertificates}) {
        if (file.empty() || file == readBefore) continue;
        try {
            os::ReadCertificatesFile(file);
        } catch (const Exception& e) {
            Box("Novas versões do programa não foram procuradas: " + e.Message() +
                    "\r\nO arquivo é informado no arquivo de configuração, seção [Atualizacao], chave Certificados. "
                    "O programa continua normalmente.",
                "Atenção");
            return Outcome::NoCertificates;
        }
        readBefore = file;
    }
    std::optional<std::string> version = AvailableVersion();
    if (!version) return Outcome::NoVersion;
    const std::string& available = *version;
    std::string current = AnsiUpperCase(Trim(settings_.currentVersion));
    if (!Newer(available, current)) return Outcome::UpToDate;

    std::string versions = "Existe uma nova versão do OSKE.\r\nVersão Atual: " + current +
                           "\r\nVersão Disponível: " + available + "\r\n\r\n";
    std::string folder = fs::path(settings_.programPath).parent_path().string();
    if (!FolderWritable(folder) || !FolderWritable(settings_.programPath)) {
        Box(versions + "Este usuário não pode alterar o programa instalado em \"" + folder +
                "\". Atualize-o pelo gerenciador de pacotes do sistema.",
            "Nova versão Disponível", mtInformation);
        return Outcome::NotWritable;
    }
    if (!AskYesNo(versions + "Deseja fazer a atualização ?", "Nova versão Disponível")) return Outcome::Declined;

    std::string name = fs::path(settings_.programPath).filename().string();
    std::string published;
    os::DownloadResult r =
        os::DownloadToString(FileAddress(settings_.address, name + ".sha256"), published, settings_.check);
    if (!r.ok) return TellUnavailable("o arquivo de conferência \"" + name + ".sha256\" não pôde ser baixado: " + r.reason);
    std::string digest = PublishedDigest(Cp1252ToUtf8(published));
    if (digest.empty())
        return TellUnavailable("o arquivo de conferência \"" + name + ".sha256\" do site não traz a soma SHA-256 do "
                           "programa");
    return Install(digest);
}

ReleaseCheck::Outcome ReleaseCheck::TellUnavailable(const std::string& What) {
    // The user said Yes and waits for the update: silence would pass for success.
    Box("Não foi possível baixar a nova versão do programa: " + What + ".\r\nO programa não foi alterado.",
        "Atenção");
    return Outcome::Unavailable;
}

ReleaseCheck::Outcome ReleaseCheck::Install(const std::string& Digest) {
    std::string name = fs::path(settings_.programPath).filename().string();
    std::string writeError;
    auto notWritten = [this](const std::string& reason) {
        Box("Não foi possível gravar a nova versão do programa. O programa não foi alterado.\r\n\r\n" + reason,
            "Atenção");
        return Outcome::NotWritten;
    };
    try {
        // Beside the program under a temporary name; renamed over it only
        // once verified, keeping the installed program's permissions.
        fileio::AtomicFile file(settings_.programPath);
        os::Sha256 hash;
        os::DownloadResult r = os::Download(
            FileAddress(settings_.address, name),
            [&](const char* data, std::size_t size) {
                try {
                    file.Write(data, size);
                } catch (const Exception& e) {
                    writeError = e.Message();
                    return false;
                }
                hash.Update(data, size);
                return true;
            },
            settings_.download);
        if (!writeError.empty()) return notWritten(writeError);
        if (!r.ok) return TellUnavailable(r.reason);
        if (hash.HexDigest() != Digest) {
            Box("A nova versão baixada não confere com a publicada e foi descartada. O programa não foi alterado.",
                "Atenção");
            return Outcome::Rejected;
        }
        try {
            file.Commit();
        } catch (const Exception& e) {
            return notWritten(e.Message());
        }
    } catch (const Exception& e) {
        return TellUnavailable(e.Message());
    }
    if (!StartProgram(settings_.programPath, settings_.arguments)) {
        Box("A nova versão foi instalada, mas não pôde ser iniciada. Abra o programa novamente.", "Atenção");
        return Outcome::InstalledNotStarted;
    }
    return Outcome::Installed;
}

}  // namespace billing::main
