#include "tests/billing/nfe/fake/FakeMonitor.h"

#include <algorithm>
#include <filesystem>

#include "tests/support/TestSupport.h"

namespace fs = std::filesystem;

namespace nfetest {

namespace {

constexpr const char* kNs = "xmlns=\"http://www.portalfiscal.inf.br/nfe\"";
constexpr const char* kVerAplic = "FAKE-MONITOR_1.0";
constexpr const char* kWhen = "2010-06-15T10:30:00";
constexpr const char* kDigest = "AAAAAAAAAAAAAAAAAAAAAAAAAAA=";

std::string Digits(long long value, int width) {
    std::string s = std::to_string(value);
    return std::string(static_cast<std::size_t>(std::max(0, width - static_cast<int>(s.size()))), '0') + s;
}

bool EndsWith(const std::string& s, const std::string& end) {
    return s.size() >= end.size() && s.compare(s.size() - end.size(), end.size(), end) == 0;
}

// The text of the first <tag> of a request ("" when none).
std::string Element(const std::string& text, const std::string& tag) {
    std::size_t a = text.find("<" + tag + ">");
    if (a == std::string::npos) return {};
    a += tag.size() + 2;
    std::size_t b = text.find("</" + tag + ">", a);
    return b == std::string::npos ? std::string() : text.substr(a, b - a);
}

}  // namespace

// Writes an answer on one line or pretty-printed.
class FakeMonitor::Xml {
public:
    explicit Xml(bool pretty) : pretty_(pretty) {
        out_ = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>";
        if (pretty_) out_ += "\r\n";
    }
    Xml& Open(const std::string& tag, const std::string& attrs = "") {
        Indent();
        out_ += "<" + tag + (attrs.empty() ? "" : " " + attrs) + ">";
        Break();
        ++depth_;
        return *this;
    }
    Xml& Leaf(const std::string& tag, const std::string& value) {
        Indent();
        std::string v;
        for (char c : value) v += c == '&' ? std::string("&amp;") : c == '<' ? std::string("&lt;") : std::string(1, c);
        out_ += "<" + tag + ">" + v + "</" + tag + ">";
        Break();
        return *this;
    }
    Xml& Close(const std::string& tag) {
        --depth_;
        Indent();
        out_ += "</" + tag + ">";
        Break();
        return *this;
    }
    std::string Text() const { return out_; }

private:
    void Indent() {
        if (pretty_) out_ += std::string(static_cast<std::size_t>(depth_) * 2, ' ');
    }
    void Break() {
        if (pretty_) out_ += "\r\n";
    }
    bool pretty_;
    int depth_ = 0;
    std::string out_;
};

FakeMonitor::FakeMonitor(Folders folders) : folders_(std::move(folders)) {}

void FakeMonitor::Script(const std::string& key, std::vector<std::string> outcomes) {
    auto& queue = script_[key];
    queue.insert(queue.end(), outcomes.begin(), outcomes.end());
}

void FakeMonitor::ScriptCancel(const std::string& key, const std::string& outcome) { cancel_[key] = outcome; }

std::string FakeMonitor::BatchOf(const std::string& key) const {
    auto it = batch_.find(key);
    return it == batch_.end() ? std::string() : it->second;
}

std::string FakeMonitor::ReceiptOf(const std::string& key) const {
    auto it = receipt_.find(key);
    return it == receipt_.end() ? std::string() : it->second;
}

std::string FakeMonitor::ProtocolOf(const std::string& key) const {
    auto it = protocol_.find(key);
    return it == protocol_.end() ? std::string() : it->second;
}

std::string FakeMonitor::Reason(const std::string& cStat) {
    static const std::map<std::string, std::string> reasons = {
        {"100", "Autorizado o uso da NF-e"},
        {"101", "Cancelamento de NF-e homologado"},
        {"103", "Lote recebido com sucesso"},
        {"104", "Lote processado"},
        {"105", "Lote em processamento"},
        {"107", "Serviço em Operação"},
        {"110", "Uso Denegado"},
        {"204", "Rejeição: Duplicidade de NF-e"},
        {"217", "Rejeição: NF-e não consta na base de dados da SEFAZ"},
        {"220", "Rejeição: NF-e autorizada há mais de 7 dias (168 horas)"},
        {"301", "Uso Denegado : Irregularidade fiscal do emitente"},
        {"539", "Rejeição: Duplicidade de NF-e, com diferença na Chave de Acesso"}};
    auto it = reasons.find(cStat);
    return it == reasons.end() ? "Rejeição: código " + cStat : it->second;
}

std::string FakeMonitor::NextOutcome(const std::string& key) {
    auto& queue = script_[key];
    if (queue.empty()) return "100";
    std::string next = queue.front();
    queue.pop_front();
    return next;
}

std::string FakeMonitor::Answer(const std::string& name, const std::string& text) {
    std::string path = folders_.retorno + "/" + name;
    testsupport::WriteAll(path, text);
    written_.push_back(path);
    return path;
}

std::string FakeMonitor::NumeroLote(long long lote) const {
    return Xml(pretty_).Open("DadosLoteNfe").Leaf("NumeroLoteGerado", std::to_string(lote)).Close("DadosLoteNfe").Text();
}

std::string FakeMonitor::RetEnviNFe(const std::string& tpAmb, const std::string& cUF, const std::string& recibo) const {
    return Xml(pretty_)
        .Open("retEnviNFe", std::string(kNs) + " versao=\"1.10\"")
        .Leaf("tpAmb", tpAmb)
        .Leaf("verAplic", kVerAplic)
        .Leaf("cStat", "103")
        .Leaf("xMotivo", Reason("103"))
        .Leaf("cUF", cUF)
        .Open("infRec")
        .Leaf("nRec", recibo)
        .Leaf("dhRecbto", kWhen)
        .Leaf("tMed", "1")
        .Close("infRec")
        .Close("retEnviNFe")
        .Text();
}

std::string FakeMonitor::RetConsReciNFe(const std::string& tpAmb, const std::string& cUF, const std::string& recibo,
                                        const std::string& cStat, const std::vector<Prot>& prots) const {
    Xml x(pretty_);
    x.Open("retConsReciNFe", std::string(kNs) + " versao=\"1.10\"")
        .Leaf("tpAmb", tpAmb)
        .Leaf("verAplic", kVerAplic)
        .Leaf("nRec", recibo)
        .Leaf("cStat", cStat)
        .Leaf("xMotivo", Reason(cStat))
        .Leaf("cUF", cUF);
    for (const Prot& p : prots) {
        x.Open("protNFe", "versao=\"1.10\"").Open("infProt");
        x.Leaf("tpAmb", tpAmb).Leaf("verAplic", kVerAplic).Leaf("chNFe", p.key).Leaf("dhRecbto", kWhen);
        if (!p.nProt.empty()) x.Leaf("nProt", p.nProt).Leaf("digVal", kDigest);
        x.Leaf("cStat", p.cStat).Leaf("xMotivo", p.xMotivo.empty() ? Reason(p.cStat) : p.xMotivo);
        x.Close("infProt").Close("protNFe");
    }
    return x.Close("retConsReciNFe").Text();
}

std::string FakeMonitor::RetConsStatServ(const std::string& tpAmb, const std::string& cUF) const {
    return Xml(pretty_)
        .Open("retConsStatServ", std::string(kNs) + " versao=\"1.07\"")
        .Leaf("tpAmb", tpAmb)
        .Leaf("verAplic", kVerAplic)
        .Leaf("cStat", "107")
        .Leaf("xMotivo", Reason("107"))
        .Leaf("cUF", cUF)
        .Leaf("dhRecbto", kWhen)
        .Leaf("tMed", "1")
        .Close("retConsStatServ")
        .Text();
}

std::string FakeMonitor::RetConsSitNFe(const std::string& tpAmb, const std::string& key,
                                       const std::string& nProt) const {
    std::string cStat = nProt.empty() ? "217" : "100";
    Xml x(pretty_);
    x.Open("retConsSitNFe", std::string(kNs) + " versao=\"1.07\"").Open("infProt");
    x.Leaf("tpAmb", tpAmb).Leaf("verAplic", kVerAplic).Leaf("cStat", cStat).Leaf("xMotivo", Reason(cStat));
    x.Leaf("cUF", key.substr(0, 2)).Leaf("chNFe", key);
    if (!nProt.empty()) x.Leaf("dhRecbto", kWhen).Leaf("nProt", nProt);
    return x.Close("infProt").Close("retConsSitNFe").Text();
}

std::string FakeMonitor::RetCancNFe(const std::string& tpAmb, const std::string& key, const std::string& cStat,
                                    const std::string& nProt) const {
    Xml x(pretty_);
    x.Open("retCancNFe", std::string(kNs) + " versao=\"1.07\"").Open("infCanc");
    x.Leaf("tpAmb", tpAmb).Leaf("verAplic", kVerAplic).Leaf("cStat", cStat).Leaf("xMotivo", Reason(cStat));
    x.Leaf("cUF", key.substr(0, 2)).Leaf("chNFe", key);
    if (!nProt.empty()) x.Leaf("dhRecbto", kWhen).Leaf("nProt", nProt);
    return x.Close("infCanc").Close("retCancNFe").Text();
}

int FakeMonitor::Step() {
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(folders_.envio))
        if (e.is_regular_file() && e.path().filename().string()[0] != '.') names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    int taken = 0;
    std::vector<std::string> nfe;
    for (const std::string& name : names) {
        std::string path = folders_.envio + "/" + name;
        std::string text = testsupport::ReadAll(path);
        std::string tpAmb = Element(text, "tpAmb");
        if (EndsWith(name, "-nfe.xml")) {
            nfe.push_back(path);
            continue;
        }
        ++taken;
        if (EndsWith(name, "-ped-rec.xml")) {
            TakeReceiptQuery(path, name.substr(0, name.size() - 12));
            continue;
        }
        fs::remove(path);
        if (EndsWith(name, "-ped-sta.xml")) {
            Answer(name.substr(0, name.size() - 12) + "-sta.xml", RetConsStatServ(tpAmb, Element(text, "cUF")));
        } else if (EndsWith(name, "-ped-sit.xml")) {
            std::string key = Element(text, "chNFe");
            Answer(key + "-sit.xml", RetConsSitNFe(tpAmb, key, ProtocolOf(key)));
        } else if (EndsWith(name, "-ped-can.xml")) {
            std::string key = Element(text, "chNFe");
            std::string outcome = cancel_.count(key) ? cancel_[key] : "101";
            if (outcome == "none") continue;
            if (outcome == ".err") {
                Answer(key + "-can.err", "Falha na comunica\xC3\xA7\xC3\xA3o com a SEFAZ\r\nTente novamente\r\n");
                continue;
            }
            std::string nProt = outcome == "101" ? "141" + Digits(nextProtocol_++, 12) : "";
            Answer(key + "-can.xml", RetCancNFe(tpAmb, key, outcome, nProt));
        }
    }
    if (!nfe.empty()) {
        taken += static_cast<int>(nfe.size());
        TakeNFe(nfe);
    }
    return taken;
}

void FakeMonitor::TakeNFe(const std::vector<std::string>& files) {
    std::vector<std::string> batch;
    std::string tpAmb = "2", cUF = "41";
    for (const std::string& path : files) {
        std::string name = fs::path(path).filename().string();
        std::string key = name.substr(0, name.size() - 8);
        std::string text = testsupport::ReadAll(path);
        fs::remove(path);
        auto& queue = script_[key];
        if (!queue.empty() && queue.front() == ".err") {
            queue.pop_front();
            Answer(key + "-nfe.err",
                   "Rejei\xC3\xA7\xC3\xA3o: Falha no Schema XML da NF-e\r\nElemento cProd inv\xC3\xA1lido\r\n");
            continue;
        }
        tpAmb = Element(text, "tpAmb").empty() ? tpAmb : Element(text, "tpAmb");
        cUF = key.substr(0, 2);
        ambiente_[key] = tpAmb;
        archived_[key] = text;
        batch.push_back(key);
    }
    if (batch.empty()) return;
    long long lote = nextBatch_++;
    std::string recibo = "411" + Digits(nextReceipt_++, 12);
    for (const std::string& key : batch) {
        batch_[key] = Digits(lote, 15);
        receipt_[key] = recibo;
        Answer(key + "-num-lot.xml", NumeroLote(lote));
    }
    keysOfReceipt_[recibo] = batch;
    Answer(Digits(lote, 15) + "-rec.xml", RetEnviNFe(tpAmb, cUF, recibo));
}

void FakeMonitor::TakeReceiptQuery(const std::string& path, const std::string& recibo) {
    std::string text = testsupport::ReadAll(path);
    fs::remove(path);
    std::string tpAmb = Element(text, "tpAmb");
    const std::vector<std::string>& keys = keysOfReceipt_[recibo];
    std::string cUF = keys.empty() ? "41" : keys.front().substr(0, 2);
    if (keys.empty()) {
        Answer(recibo + "-pro-rec.xml", RetConsReciNFe(tpAmb, cUF, recibo, "106", {}));
        return;
    }
    auto& first = script_[keys.front()];
    if (!first.empty() && (first.front() == "105" || first.front() == "rec.err")) {
        std::string outcome = first.front();
        for (const std::string& key : keys) {
            auto& queue = script_[key];
            if (!queue.empty() && queue.front() == outcome) queue.pop_front();
        }
        if (outcome == "rec.err")
            Answer(recibo + "-pro-rec.err", "Erro na consulta do recibo\r\nServi\xC3\xA7o indispon\xC3\xADvel\r\n");
        else
            Answer(recibo + "-pro-rec.xml", RetConsReciNFe(tpAmb, cUF, recibo, "105", {}));
        return;
    }
    std::vector<Prot> prots;
    for (const std::string& key : keys) {
        std::string cStat = NextOutcome(key);
        Prot p{key, cStat, Reason(cStat), ""};
        if (cStat == "100" || cStat == "110" || cStat == "301") {
            p.nProt = "141" + Digits(nextProtocol_++, 12);
            protocol_[key] = p.nProt;
        }
        if (cStat == "100") Archive(key);
        prots.push_back(p);
    }
    Answer(recibo + "-pro-rec.xml", RetConsReciNFe(tpAmb, cUF, recibo, "104", prots));
}

void FakeMonitor::Archive(const std::string& key) {
    // The key's year and month of emission name the month folder.
    std::string folder = folders_.arquivamento + "/20" + key.substr(2, 4);
    fs::create_directories(folder);
    testsupport::WriteAll(folder + "/" + key + "-nfe.xml", archived_[key]);
}

}  // namespace nfetest
