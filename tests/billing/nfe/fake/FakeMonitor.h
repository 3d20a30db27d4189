#pragma once
// A stand-in for the NF-e monitor program: each Step answers what the send
// folder holds at that moment, as the monitor does, taking the request
// files away and writing its answers into the return folder.
//
// - "-nfe.xml": the NF-e files present go into one batch (several invoices
//   per batch): "<key>-num-lot.xml" for each and "<batch>-rec.xml" with the
//   receipt; or "<key>-nfe.err" when the key's next outcome is ".err".
// - "-ped-rec.xml": "<receipt>-pro-rec.xml" with one protocol per invoice of
//   the batch, each with its key's next scripted outcome ("100" unless
//   scripted; "105" answers for the whole batch that it is still being
//   processed; "rec.err" gives "<receipt>-pro-rec.err"). An authorised NF-e is
//   archived under the archive folder's "yyyymm" of its emission.
// - "-ped-sta.xml", "-ped-sit.xml", "-ped-can.xml": their answers (the
//   cancellation's outcome scriptable: "101" by default, another status,
//   ".err", or "none" to leave it unanswered); "-ped-inu.xml" is taken and
//   not answered.
//
// Answers are written on one line or pretty-printed, and are valid against
// the PL_005f return schemas.
#include <deque>
#include <map>
#include <string>
#include <vector>

namespace nfetest {

class FakeMonitor {
public:
    struct Folders {
        std::string envio, retorno, arquivamento;
    };
    explicit FakeMonitor(Folders folders);

    // The outcomes of the key's next protocol answers, in order.
    void Script(const std::string& key, std::vector<std::string> outcomes);
    // The outcome of the key's cancellation.
    void ScriptCancel(const std::string& key, const std::string& outcome);
    void SetPretty(bool pretty) { pretty_ = pretty; }

    // Answers every request in the send folder; returns how many it took.
    int Step();

    // The answers written so far (full paths), in order.
    const std::vector<std::string>& Written() const { return written_; }
    // The batch and receipt given to a key (15 digits each), "" when none yet.
    std::string BatchOf(const std::string& key) const;
    std::string ReceiptOf(const std::string& key) const;
    // The authorisation protocol given to a key, "" when none.
    std::string ProtocolOf(const std::string& key) const;

    // The texts of the answers, for tests that place answers by hand.
    std::string RetEnviNFe(const std::string& tpAmb, const std::string& cUF, const std::string& recibo) const;
    std::string NumeroLote(long long lote) const;
    struct Prot {
        std::string key, cStat, xMotivo, nProt;
    };
    std::string RetConsReciNFe(const std::string& tpAmb, const std::string& cUF, const std::string& recibo,
                               const std::string& cStat, const std::vector<Prot>& prots) const;
    std::string RetConsStatServ(const std::string& tpAmb, const std::string& cUF) const;
    std::string RetConsSitNFe(const std::string& tpAmb, const std::string& key, const std::string& nProt) const;
    std::string RetCancNFe(const std::string& tpAmb, const std::string& key, const std::string& cStat,
                           const std::string& nProt) const;

    // Files the key's NF-e in the archive's month folder, as an authorisation does.
    void Archive(const std::string& key);

    // The reason the tax authority gives for a status.
    static std::string Reason(const std::string& cStat);

private:
    class Xml;
    std::string NextOutcome(const std::string& key);
    std::string Answer(const std::string& name, const std::string& text);
    void TakeNFe(const std::vector<std::string>& files);
    void TakeReceiptQuery(const std::string& path, const std::string& recibo);

    Folders folders_;
    bool pretty_ = false;
    long long nextBatch_ = 1;
    long long nextReceipt_ = 1;
    long long nextProtocol_ = 1;
    std::map<std::string, std::deque<std::string>> script_;
    std::map<std::string, std::string> cancel_;
    std::map<std::string, std::string> batch_, receipt_, protocol_, ambiente_;
    std::map<std::string, std::vector<std::string>> keysOfReceipt_;
    std::map<std::string, std::string> archived_;  // key -> the NF-e's text
    std::vector<std::string> written_;
};

}  // namespace nfetest
