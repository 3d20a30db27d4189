#include "billing/nfe/Requests.h"

#include <unistd.h>

#include <optional>

#include "billing/data/Utils.h"
#include "billing/nfe/AnswerFiles.h"
#include "billing/nfe/AnswerXml.h"
#include "billing/nfe/ChaveNFe.h"
#include "billing/nfe/NFeError.h"
#include "billing/nfe/NFeWriter.h"
#include "billing/nfe/SendFolder.h"
#include "billing/nfe/XmlText.h"
#include "platform/rtl/Strings.h"

namespace billing::nfe {

const char* const MsgSemConexao =
    "Não foi possível a conexão com o servidor !\r\nVerifique se a Internet está funcionando e/ou \r\n"
    "se o Monitor de NFe está ativo.";

namespace {

constexpr const char* kDecl = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>";
constexpr const char* kDeclBlank = "<?xml version=\"1.0\" encoding=\"UTF-8\" ?>";

[[noreturn]] void Fail(const std::string& field, const std::string& problem) {
    throw ENFeError("Pedido não gerado. " + field + ": " + problem + ".");
}

std::string RootAttributes(const std::string& versao) {
    return std::string("xmlns:xsi=\"") + kXsiNamespace + "\" xmlns:xsd=\"" + kXsdNamespace + "\" versao=\"" +
           versao + "\" xmlns=\"" + kNFeNamespace + "\"";
}

std::string Lines(std::initializer_list<std::string> lines) {
    std::string out;
    for (const std::string& l : lines) out += l + "\r\n";
    return out;
}

std::string Elem(const std::string& tag, const std::string& value) {
    return "<" + tag + ">" + value + "</" + tag + ">";
}

void CheckAmbiente(const std::string& tpAmb) {
    if (tpAmb != "1" && tpAmb != "2") Fail("Configurações - Ambiente", "deve começar por 1 ou 2 (\"" + tpAmb + "\")");
}

void CheckKey(const std::string& chave) {
    if (!ChaveValida(chave)) Fail("Chave de acesso", "inválida (\"" + chave + "\")");
}

// Never cut: a longer justification is refused as a shorter one is.
std::string Justification(const std::string& text) {
    std::string norm = NormalizeFreeText(text, -1);
    int n = Length(norm);
    if (n < 15 || n > 255) Fail("Justificativa", "deve ter de 15 a 255 caracteres (tem " + IntToStr(n) + ")");
    return EscapeXml(norm);
}

std::string StateCode(const std::string& id_uf, const char* field) {
    std::string c = Trim(id_uf);
    if (c.size() == 1) c = "0" + c;
    if (!IsStateCode(c)) Fail(field, "código da UF inválido (\"" + id_uf + "\")");
    return c;
}

// What an answer file says: the reasons of the answer, or the error file's
// lines joined. False with `problem` set when it says nothing usable.
bool ParseAnswer(const std::string& bytes, bool errorFile, std::string& result, std::string& problem) {
    if (errorFile) {
        result = JoinedLines(bytes);
        if (Trim(result).empty()) {
            problem = "está vazia";
            return false;
        }
        return true;
    }
    std::optional<std::string> reasons = ReasonsOfAnswer(bytes);
    if (!reasons) {
        problem = "não pôde ser interpretada: nenhum elemento <xMotivo> completo foi encontrado";
        return false;
    }
    result = *reasons;
    return true;
}

// An answer that cannot be read or understood is evidence of what went
// wrong: it is kept in the error folder (never deleted) and reported as it is.
std::string Unusable(const NFeConfig& config, const std::string& path, const std::string& problem) {
    std::string where;
    try {
        where = " O arquivo foi movido para \"" + ShownName(MoveToFolder(path, config.pasta_nfe_erro, "erro")) + "\".";
    } catch (const ENFeError& e) {
        where = " O arquivo foi mantido em \"" + ShownName(path) + "\". " + e.Message();
    }
    return "A resposta do Monitor de NF-e \"" + ShownName(ExtractFileName(path)) + "\" " + problem + "." + where;
}

// Starts the wait for the answer to a request written as `requestName`: the
// answer is the request's name without "-ped", the error file the base name
// with `errorSuffix`, both in the return folder; both are deleted once read.
std::unique_ptr<AnswerWait> AwaitAnswer(const NFeConfig& config, const WaitServices& services,
                                        const std::string& requestName, const std::string& requestSuffix,
                                        const std::string& errorSuffix, int steps, const std::string& none,
                                        RequestDone done,
                                        std::function<std::string(const std::string&)> describe = nullptr,
                                        AnswerTaken take = nullptr) {
    std::string base = requestName.substr(0, requestName.size() - requestSuffix.size());
    std::string answer = JoinPath(config.pasta_nfe_retorno, StringReplace(requestName, "-ped", "", TReplaceFlags()));
    std::string error = JoinPath(config.pasta_nfe_retorno, base + errorSuffix);
    auto check = [](const std::string& bytes, bool errorFile, std::string& problem) {
        std::string ignored;
        return ParseAnswer(bytes, errorFile, ignored, problem);
    };
    auto finished = [config, none, done, describe, take](const WaitResult& r) {
        std::string text, failure;
        switch (r.outcome) {
        case WaitOutcome::Answer:
        case WaitOutcome::Error:
            ParseAnswer(r.bytes, r.outcome == WaitOutcome::Error, text, failure);
            if (r.outcome == WaitOutcome::Answer && describe) {
                std::string described = describe(r.bytes);
                if (!described.empty()) text = described;
            }
            if (take) take(r, text, failure);
            else if (!r.appliedElsewhere) unlink(r.path.c_str());
            break;
        case WaitOutcome::TimedOut:
            text = none;
            break;
        case WaitOutcome::Unusable:
            failure = Unusable(config, r.path, r.problem);
            break;
        }
        if (done) done(text, failure);
    };
    auto wait = std::make_unique<AnswerWait>(services, answer, error, config.answer_wait_ms,
                                             steps * config.answer_wait_ms, check, finished);
    wait->Start();
    return wait;
}

}  // namespace

std::string AmbienteCode(const NFeConfig& config) {
    std::string t = Trim(config.ambiente);
    return t.empty() ? std::string() : t.substr(0, 1);
}

std::string RequestTimeStamp(TDateTime when) {
    uint16_t y, mo, d, h, mi, s, ms;
    DecodeDateTime(when, y, mo, d, h, mi, s, ms);
    return IntToStrZero(y, 4) + IntToStrZero(mo, 2) + IntToStrZero(d, 2) + "T" + IntToStrZero(h, 2) +
           IntToStrZero(mi, 2) + IntToStrZero(s, 2);
}

std::optional<std::string> ReasonsOfAnswer(const std::string& text) {
    std::optional<XmlElement> doc = ParseXml(text);
    if (!doc) return std::nullopt;
    std::vector<const XmlElement*> reasons = doc->FindAll("xMotivo");
    if (reasons.empty()) return std::nullopt;
    std::string result;
    for (const XmlElement* e : reasons) result += e->text + "\r\n";
    return result;
}

std::string BuildConsultaRecibo(const std::string& tpAmb, const std::string& recibo) {
    CheckAmbiente(tpAmb);
    if (recibo.size() != 15 || OnlyDigits(recibo) != recibo)
        Fail("Recibo do lote", "deve ter 15 dígitos (\"" + recibo + "\")");
    return Lines({kDeclBlank, "<consReciNFe " + RootAttributes("1.10") + ">", Elem("tpAmb", tpAmb),
                  Elem("nRec", recibo), "</consReciNFe>"});
}

std::string BuildStatusServico(const std::string& tpAmb, const std::string& cUF) {
    CheckAmbiente(tpAmb);
    std::string uf = StateCode(cUF, "Emitente - UF");
    return Lines({kDecl, std::string("<consStatServ xmlns:xsi=\"") + kXsiNamespace + "\"",
                  std::string("xmlns:xsd=\"") + kXsdNamespace + "\" versao=\"1.07\" xmlns=\"" + kNFeNamespace +
                      "\">" + Elem("tpAmb", tpAmb) + Elem("cUF", uf) + "<xServ>STATUS</xServ></consStatServ>"});
}

std::string BuildSituacaoNFe(const std::string& tpAmb, const std::string& chave) {
    CheckAmbiente(tpAmb);
    CheckKey(chave);
    return Lines({kDecl, "<consSitNFe " + RootAttributes("1.07") + ">", Elem("tpAmb", tpAmb),
                  "<xServ>CONSULTAR</xServ>", Elem("chNFe", chave), "</consSitNFe>"});
}

std::string BuildInutilizacao(const std::string& tpAmb, const RequestIssuer& issuer, TDateTime today, int serie,
                              int inicial, int final, const std::string& justificativa, std::string* id) {
    CheckAmbiente(tpAmb);
    std::string uf = StateCode(issuer.id_uf, "Emitente - UF");
    if (issuer.cnpj.size() != 14 || OnlyDigits(issuer.cnpj) != issuer.cnpj)
        Fail("Emitente - CNPJ", "deve ter 14 dígitos, sem pontuação (\"" + issuer.cnpj + "\")");
    if (!ValidCgc(issuer.cnpj))
        Fail("Emitente - CNPJ", "número inválido, os dígitos verificadores não conferem (\"" + issuer.cnpj + "\")");
    if (serie < 0 || serie > 999) Fail("Série", "deve estar entre 0 e 999");
    if (inicial < 1 || inicial > 999999999) Fail("Número inicial", "deve estar entre 1 e 999999999");
    if (final < inicial || final > 999999999)
        Fail("Número final", "deve estar entre o número inicial e 999999999");
    std::string just = Justification(justificativa);
    uint16_t y, m, d;
    DecodeDate(today, y, m, d);
    std::string ano = IntToStrZero(y % 100, 2);
    std::string ident = uf + ano + issuer.cnpj + "55" + IntToStrZero(serie, 3) + IntToStrZero(inicial, 9) +
                        IntToStrZero(final, 9);
    if (id) *id = ident;
    return Lines({kDeclBlank, "<inutNFe " + RootAttributes("1.07") + ">", "<infInut Id=\"ID" + ident + "\">",
                  Elem("tpAmb", tpAmb), "<xServ>INUTILIZAR</xServ>", Elem("cUF", uf), Elem("ano", ano),
                  Elem("CNPJ", issuer.cnpj), "<mod>55</mod>", Elem("serie", IntToStr(serie)),
                  Elem("nNFIni", IntToStr(inicial)), Elem("nNFFin", IntToStr(final)), Elem("xJust", just),
                  "</infInut>", "</inutNFe>"});
}

std::string BuildCancelamento(const std::string& tpAmb, const std::string& chave, const std::string& protocolo,
                              const std::string& justificativa) {
    CheckAmbiente(tpAmb);
    CheckKey(chave);
    std::string prot = Trim(protocolo);
    if (prot.size() != 15 || OnlyDigits(prot) != prot)
        Fail("Protocolo de autorização", "deve ter 15 dígitos (\"" + prot + "\")");
    std::string just = Justification(justificativa);
    return Lines({kDecl, "<cancNFe " + RootAttributes("1.07") + ">", "<infCanc Id=\"NFe" + chave + "\">",
                  Elem("tpAmb", tpAmb), "<xServ>CANCELAR</xServ>", Elem("chNFe", chave), Elem("nProt", prot),
                  Elem("xJust", just), "</infCanc>", "</cancNFe>"});
}

std::string BuildUltimoLote(long long lote) {
    return Lines({"<?xml version=\"1.0\" encoding=\"utf-8\" ?>", "<DadosLoteNfe>",
                  Elem("UltimoLoteEnviado", std::to_string(lote)), "</DadosLoteNfe>"});
}

bool Consultar_Situacao_Lote(const NFeConfig& config, const std::string& recibo) {
    std::string text = BuildConsultaRecibo(AmbienteCode(config), recibo);
    WriteToFolder(config.pasta_nfe_envio, recibo + "-ped-rec.xml", text);
    return true;
}

std::unique_ptr<AnswerWait> Consultar_Status_Servico(const NFeConfig& config, const std::string& cUF,
                                                     RequestDone done, TDateTime now, const WaitServices& services) {
    Verifica_Monitor_NFE(config);
    std::string text = BuildStatusServico(AmbienteCode(config), cUF);
    std::string name = RequestTimeStamp(now) + "-ped-sta.xml";
    WriteToFolder(config.pasta_nfe_envio, name, text);
    return AwaitAnswer(config, services, name, "-ped-sta.xml", "-sta.err", 3, MsgSemConexao, std::move(done));
}

std::unique_ptr<AnswerWait> Consultar_Situacao_NFE(const NFeConfig& config, const std::string& chave,
                                                   RequestDone done, const WaitServices& services) {
    Verifica_Monitor_NFE(config);
    std::string text = BuildSituacaoNFe(AmbienteCode(config), chave);
    std::string name = chave + "-ped-sit.xml";
    WriteToFolder(config.pasta_nfe_envio, name, text);
    return AwaitAnswer(config, services, name, "-ped-sit.xml", "-sit.err", 4, "", std::move(done));
}

bool Inutilizar_NFE(const NFeConfig& config, const RequestIssuer& issuer, int serie, int inicial, int final,
                    const std::string& justificativa, TDateTime today, std::string* identifier) {
    std::string id;
    std::string text = BuildInutilizacao(AmbienteCode(config), issuer, today, serie, inicial, final, justificativa, &id);
    WriteToFolder(config.pasta_nfe_envio, id + "-ped-inu.xml", text);
    if (identifier != nullptr) *identifier = id;
    return true;
}

namespace {

// The text of the first <Tag> element of an answer (tags compared in upper
// case, as the monitor's answers are read); "" when there is none.
std::string ElementText(const std::string& answer, const std::string& tag) {
    // ASCII only, so that positions in the upper-cased text are the text's.
    auto upcase = [](std::string t) {
        for (char& c : t)
            if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
        return t;
    };
    const std::string upper = upcase(answer);
    const std::string open = "<" + upcase(tag) + ">", close = "</" + upcase(tag) + ">";
    std::size_t start = upper.find(open);
    if (start == std::string::npos) return {};
    start += open.size();
    std::size_t end = upper.find(close, start);
    if (end == std::string::npos) return {};
    return Trim(answer.substr(start, end - start));
}

}  // namespace

constexpr int kVoidingSteps = 4;

std::string DescribeInutilizacao(const std::string& answer) {
    const std::string status = ElementText(answer, "cStat");
    if (status.empty()) return {};
    std::string text = "Situação: " + status + " - " + ElementText(answer, "xMotivo") + "\r\n";
    const std::string protocol = ElementText(answer, "nProt");
    if (!protocol.empty()) text += "Protocolo: " + protocol + "\r\n";
    return text;
}

int VoidingWaitMs(const NFeConfig& config) { return kVoidingSteps * config.answer_wait_ms; }

bool InutilizacaoHomologada(const std::string& text) { return text.rfind("Situação: 102 ", 0) == 0; }

std::unique_ptr<AnswerWait> Aguardar_Inutilizacao(const NFeConfig& config, const std::string& identifier,
                                                  RequestDone done, const WaitServices& services,
                                                  AnswerTaken take) {
    return AwaitAnswer(config, services, identifier + "-ped-inu.xml", "-ped-inu.xml", "-inu.err", kVoidingSteps,
                       MsgSemConexao,
                       std::move(done), DescribeInutilizacao, std::move(take));
}

bool Cancelar_NFE(const NFeConfig& config, const std::string& chave, const std::string& protocolo,
                  const std::string& justificativa) {
    if (Trim(protocolo).empty()) {
        config.Notify("Erro Interno do Aplicativo, a NF-e \"" + chave + "\" não possui protocolo !", "Erro");
        return false;
    }
    std::string text = BuildCancelamento(AmbienteCode(config), chave, protocolo, justificativa);
    WriteToFolder(config.pasta_nfe_envio, chave + "-ped-can.xml", text);
    return true;
}

void Verifica_Numero_Lote(const NFeConfig& config, long long ultimoLote) {
    std::string path = config.programs.lote_file;
    if (path.empty()) {
        const std::string& monitor = config.programs.monitor;
        std::size_t slash = monitor.find_last_of('/');
        if (slash == std::string::npos) throw ENFeError("O programa do Monitor de NF-e não está configurado.");
        path = monitor.substr(0, slash + 1) + "uninfelote.xml";
    }
    std::size_t slash = path.find_last_of('/');
    std::string folder = slash == std::string::npos ? std::string(".") : path.substr(0, slash);
    WriteToFolder(folder, path.substr(slash + 1), BuildUltimoLote(ultimoLote), "instalação do Monitor");
}

}  // namespace billing::nfe
