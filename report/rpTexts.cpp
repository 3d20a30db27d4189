// The program's own language texts, in Portuguese: every text the
// library itself quotes, and one of ours for each other
// message number the code asks for. A language module overrides any of them.
#include <map>

#include "report/rpLanguage.h"

namespace {

const std::map<int, const char*>& Table() {
    static const std::map<int, const char*> table = {
        {2, "Acessando os dados..."},
        {4, "Calculando a página <page> do relatório <documentname>"},
        {6, "Fechar"},
        {10, "Página <page> de <pagecount> do relatório <documentname>"},
        {16, "de"},
        {18, "Página"},
        {27, "Imprimindo a página <page> do Relatório <documentname> em <printername>"},
        {28, "Imprimindo a Página <page> de <pagecount> do Relatório <documentname> em <printername>"},
        {34, "Arquivo de Relatório"},
        {40, "Não foi possível abrir os dados"},
        {46, "Arquivo não encontrado:"},
        {49, "Formato de matriz inválido"},
        {50, "Ignora o erro e continua?"},
        {51, "O arquivo é somente para leitura."},
        {53, "Não é possível gravar a matriz em um campo deste tipo."},
        {67, "Não foi possível abrir o arquivo: <filename>."},
        {117, "Escolha a posição da linha"},
        {118, "Escolha a forma"},
        {154, "Digite o texto"},
        {181, "Esquerda"},
        {182, "Acima"},
        {187, "Rodapé da Coluna"},
        {188, "Cabeçalho da Coluna"},
        {189, "Detalhe"},
        {190, "Rodapé"},
        {191, "Rodapé do Grupo"},
        {192, "Cabeçalho do Grupo"},
        {193, "Cabeçalho"},
        {194, "Resumo"},
        {195, "Título"},
        {203, "Escolha o campo de dados"},
        {284, "Não há memória nem espaço em disco para guardar as páginas do relatório."},
        {290, "Não foi possível carregar a imagem do campo."},
        {318, "Retângulo"},
        {319, "Quadrado"},
        {320, "Retângulo arredondado"},
        {321, "Quadrado arredondado"},
        {322, "Elipse"},
        {323, "Círculo"},
        {325, "Abaixo"},
        {327, "Direita"},
        {342, "Referência circular: o componente não pode se deslocar em relação a este alvo."},
        {374, "Relatório"},
        {415, "A posição de impressão da banda fica abaixo do fim da página"},
        {691, "Estilo de Página"},
        {1020, "O Windows não pode imprimir devido a um problema com a configuração da impressora atual."},
        {1023, "Não foi possível gerar o relatório."},
        {1028, "Contar"},
        {1029, "Somar"},
        {1030, "Mínimo"},
        {1031, "Máximo"},
        {1032, "Média"},
        {1034, "Nenhum dado encontrado."},
        {1069, "<FindText>"},
        {1074, "Arquivo"},
        {1075, "Novo"},
        {1076, "Relatório"},
        {1077, "Nome do Arquivo"},
        {1078, "Tipo de Arquivo"},
        {1079, "Avançado"},
        {1080, "Opções"},
        {1081, "Para"},
        {1082, "De"},
        {1083, "CC"},
        {1084, "CCO"},
        {1085, "Anexar"},
        {1086, "Responder Para"},
        {1087, "Assunto"},
        {1088, "Visualizar"},
        {1089, "Apagar Arquivo"},
        {1090, "Conexão"},
        {1091, "Login"},
        {1092, "Enviar"},
        {1134, "sem fonte de dados"},
    };
    return table;
}

}  // namespace

std::string rpOwnLanguageText(int N) {
    auto it = Table().find(N);
    return it == Table().end() ? std::string() : std::string(it->second);
}

std::vector<int> rpOwnLanguageNumbers() {
    std::vector<int> out;
    for (const auto& [n, text] : Table()) out.push_back(n);
    return out;
}
