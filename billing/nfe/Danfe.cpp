#include "billing/nfe/Danfe.h"

#include <sys/stat.h>

#include "billing/nfe/DbRows.h"
#include "billing/nfe/SendFolder.h"
#include "platform/os/Process.h"
#include "platform/rtl/Format.h"
#include "platform/rtl/Strings.h"

namespace billing::nfe {

using namespace rows;

namespace {

bool IsFile(const std::string& path) {
    struct stat st {};
    return stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

}  // namespace

std::optional<DanfeCommand> Imprimir_Danfe(TSQLConnection& db, const NFeConfig& config, const std::string& chave,
                                           int visualizar) {
    auto nota = Query(db, "select situacao_nfe, data_emissao, tipo_emissao from nota_fiscal where numero_nfe = :pnumero_nfe");
    nota->ParamByName("pnumero_nfe")->SetAsString(chave);
    nota->Open();
    if (nota->IsEmpty()) {
        config.Notify("Erro Interno do Aplicativo, a NF-e \"" + chave + "\" não foi encontrada !", "Erro");
        return std::nullopt;
    }
    std::string situacao = Str(*nota, "situacao_nfe");
    if (AnsiSameText(situacao, "Em Digitação")) {
        config.Notify("Esta NF-e ainda não foi transmitida não pode imprimir o DANFE.", "Atenção");
        return std::nullopt;
    }
    bool contingencia = false;
    if (situacao != "Autorizada") {
        if (Str(*nota, "tipo_emissao").substr(0, 1) != "2") {
            config.Notify("Somente Notas Fiscais com situação igual a \"Autorizada\" podem imprimir o DANFE.",
                          "Atenção");
            return std::nullopt;
        }
        contingencia = true;
    }

    std::string impressora = "padrao";
    int copias = 1;
    auto opcao = Query(db, "select impressora_danfe, copias_danfe from opcao");
    opcao->Open();
    if (!opcao->IsEmpty()) {
        copias = Int(*opcao, "copias_danfe");
        // A blank name chooses no printer: the printer program's default serves.
        std::string nome = Trim(Str(*opcao, "impressora_danfe"));
        if (!nome.empty()) impressora = nome;
    }
    if (copias < 1) copias = 1;

    std::string mes = FormatDateTime("yyyymm", When(*nota, "data_emissao"));
    std::string arquivo = JoinPath(JoinPath(config.pasta_nfe_arquivamento, mes), chave + "-nfe.xml");
    if (!IsFile(arquivo) && contingencia) arquivo = JoinPath(config.pasta_nfe_erro, chave + "-nfe.xml");
    if (!IsFile(arquivo)) {
        config.Notify("O arquivo de NFe \"" + arquivo + " não foi encontrado.\r\nNão pode imprimir o DANFE.", "Atenção");
        return std::nullopt;
    }
    std::string programa = os::FindProgram(config.programs.danfe);
    if (programa.empty()) {
        // Where the name comes from is what lets the clerk mend it, told as
        // the monitor's absence is.
        const std::string file = config.settings_file.empty() ? std::string("arquivo de configuração")
                                                              : "arquivo \"" + config.settings_file + "\"";
        config.Notify("O Impressor de DANFE " + config.programs.danfe +
                          " não foi encontrado. Faça o Download do mesmo.\r\nO programa do Impressor de DANFE é "
                          "informado no " + file + ", seção [NFe], chave Danfe.",
                      "Atenção");
        return std::nullopt;
    }
    return DanfeCommand{programa,
                        {"arquivo=" + arquivo, "visualizar=" + IntToStr(visualizar), "Copias=" + IntToStr(copias),
                         "Impressora=" + impressora}};
}

bool IniciarDanfe(const NFeConfig& config, const DanfeCommand& command) {
    std::string error;
    if (os::StartProgram(command.program, command.args, {}, &error)) return true;
    config.Notify("Não foi possível iniciar o Impressor de DANFE \"" + command.program + "\". " + error, "Atenção");
    return false;
}

}  // namespace billing::nfe
