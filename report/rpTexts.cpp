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
        {10, "Página <page> de <pagecount> do relatório <documentname>"},
        {12, "Arquivo Texto Emulando Relatório"},
        {16, "de"},
        {18, "Página"},
        {27, "Imprimindo a página <page> do Relatório <documentname> em <printername>"},
        {28, "Imprimindo a Página <page> de <pagecount> do Relatório <documentname> em <printername>"},
        {34, "Arquivo de Relatório"},
        {37, "Arquivo Texto"},
        {40, "Não foi possível abrir os dados"},
        {43, "Não há posição definida para a coluna <columnno>"},
        {45, "Registro não encontrado:"},
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
        {423, "O código suplementar só é permitido nos códigos UPC-A, UPC-E, EAN-13 e EAN-8"},
        {424, "O código suplementar deve ter 2 ou 5 dígitos"},
        {425, "O tamanho automático não pode ser desligado nos códigos Postnet e FIM"},
        {426, "O ajuste automático da fonte não pode ser desligado nos códigos UPC e EAN"},
        {427, "A largura da barra não pode ser menor que <minbarwidth>"},
        {428, "A largura da barra não pode ser maior que <maxbarwidth>"},
        {429, "Barras de proteção só são permitidas no código Intercalado 2 de 5"},
        {430, "Código 39 aceita espaço, $, %, +, -, ., /, dígitos e letras; * só no início e no fim"},
        {431, "EAN-13 deve ter 12 ou 13 dígitos"},
        {432, "EAN-13 com 12 dígitos exige o cálculo do dígito verificador"},
        {433, "EAN-13 aceita somente dígitos"},
        {434, "Intercalado 2 de 5 aceita somente dígitos"},
        {435, "Intercalado 2 de 5 com número ímpar de dígitos exige o cálculo do dígito verificador"},
        {436, "Postnet aceita somente dígitos e \"-\""},
        {438, "UPC-A deve ter 11 ou 12 dígitos"},
        {439, "UPC-A com 11 dígitos exige o cálculo do dígito verificador"},
        {440, "UPC-A aceita somente dígitos"},
        {451, "Código 128 deve começar por um caractere de início (A, B ou C)"},
        {452, "Código 128 não aceita caractere de início no meio dos dados"},
        {453, "Código 128: o caractere <character> só existe no conjunto B"},
        {454, "Código 128: caracteres de controle só existem no conjunto A"},
        {455, "Código 128: falta o segundo dígito de um par no conjunto C"},
        {456, "Código 128: o conjunto C só forma pares de dígitos"},
        {457, "Código 128: FNC2, FNC3, Shift e Código C não são permitidos no conjunto C"},
        {458, "Código 128: dois Shift seguidos não são permitidos"},
        {645, "EAN-8 deve ter 7 ou 8 dígitos"},
        {646, "EAN-8 com 7 dígitos exige o cálculo do dígito verificador"},
        {647, "EAN-8 aceita somente dígitos"},
        {648, "UPC-E deve ter 6 ou 7 dígitos"},
        {649, "UPC-E com 6 dígitos exige o cálculo do dígito verificador"},
        {650, "UPC-E aceita somente dígitos"},
        {651, "FIM aceita um único caractere: A, B ou C"},
        {652, "Codabar aceita $, +, -, ., /, :, dígitos e as letras A a D"},
        {653, "Codabar deve começar e terminar com uma das letras A a D"},
        {654, "Codabar:"},
        {655, "as letras A a D só podem estar no início e no fim"},
        {691, "Estilo de Página"},
        {694, "Digite os dados do código de barras"},
        {1020, "O Windows não pode imprimir devido a um problema com a configuração da impressora atual."},
        {1023, "Não foi possível gerar o relatório."},
        {1028, "Contar"},
        {1029, "Somar"},
        {1030, "Mínimo"},
        {1031, "Máximo"},
        {1032, "Média"},
        {1034, "Nenhum dado encontrado."},
        {1069, "<FindText>"},
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
