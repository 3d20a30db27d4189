#include "report/rpAutoSearch.h"

TClass TrpAutoSearchField::StaticClassType() {
    static const TClassInfo info =
        TClassBuilder<TrpAutoSearchField>("TrpAutoSearchField", TComponent::StaticClassType())
            .String("DataPipelineName", &TrpAutoSearchField::DataPipelineName,
                    &TrpAutoSearchField::SetDataPipelineName)
            .Enum("DataType", rpTypeInfo<TrpDataType>(), &TrpAutoSearchField::DataType,
                  &TrpAutoSearchField::SetDataType)
            .String("FieldAlias", &TrpAutoSearchField::FieldAlias, &TrpAutoSearchField::SetFieldAlias)
            .String("FieldName", &TrpAutoSearchField::FieldName, &TrpAutoSearchField::SetFieldName)
            .Boolean("FirstField", &TrpAutoSearchField::FirstField, &TrpAutoSearchField::SetFirstField)
            .Boolean("Mandatory", &TrpAutoSearchField::Mandatory, &TrpAutoSearchField::SetMandatory)
            .String("SearchExpression", &TrpAutoSearchField::SearchExpression,
                    &TrpAutoSearchField::SetSearchExpression)
            .Enum("SearchOperator", rpTypeInfo<TrpSearchOperatorType>(), &TrpAutoSearchField::SearchOperator,
                  &TrpAutoSearchField::SetSearchOperator)
            .Boolean("ShowAllValues", &TrpAutoSearchField::ShowAllValues, &TrpAutoSearchField::SetShowAllValues)
            .Build();
    return &info;
}

TrpAutoSearchField::TrpAutoSearchField(TComponent* AOwner) : TComponent(AOwner) {}

std::string rpSearchOperatorText(TrpSearchOperatorType Operator) {
    switch (Operator) {
        case soEqual: return "=";
        case soNotEqual: return "<>";
        case soLessThan: return "<";
        case soLessThanOrEqualTo: return "<=";
        case soGreaterThan: return ">";
        case soGreaterThanOrEqualTo: return ">=";
        case soLike: return "como";
        case soNotLike: return "não como";
        case soBetween: return "entre";
        case soNotBetween: return "fora de";
        case soInList: return "em";
        case soNotInList: return "fora da lista";
        case soBlank: return "vazio";
        case soNotBlank: return "preenchido";
    }
    return "=";
}

bool TrpAutoSearchField::HasValue() const {
    if (showAllValues_) return false;
    return searchOperator_ == soBlank || searchOperator_ == soNotBlank || !searchExpression_.empty();
}

std::string TrpAutoSearchField::GetDescription() const {
    std::string text = firstField_ ? "" : "e ";
    text += fieldAlias_.empty() ? fieldName_ : fieldAlias_;
    text += " " + rpSearchOperatorText(searchOperator_);
    if (searchOperator_ != soBlank && searchOperator_ != soNotBlank) text += " " + searchExpression_;
    return text;
}

void TrpAutoSearchField::Assign(const TrpAutoSearchField* Source) {
    if (Source == nullptr || Source == this) return;
    dataPipelineName_ = Source->dataPipelineName_;
    fieldName_ = Source->fieldName_;
    fieldAlias_ = Source->fieldAlias_;
    searchOperator_ = Source->searchOperator_;
    searchExpression_ = Source->searchExpression_;
    mandatory_ = Source->mandatory_;
    dataType_ = Source->dataType_;
    showAllValues_ = Source->showAllValues_;
}

void TrpAutoSearchField::AssignCriteria(const TrpAutoSearchField* Source) {
    if (Source == nullptr || Source == this) return;
    searchExpression_ = Source->searchExpression_;
    showAllValues_ = Source->showAllValues_;
}
