#pragma once
// TrpAutoSearchField: one search criterion a report asks its user before
// it prints (pipeline, field, operator and the value typed), made by the
// report's CreateAutoSearchCriteria and held in its AutoSearchFields. A
// field class is created through its class info so that a background copy
// of a report makes fields of the same class.
#include <string>

#include "platform/rtl/Component.h"
#include "report/rpTypes.h"

class TrpAutoSearchField : public TComponent {
public:
    explicit TrpAutoSearchField(TComponent* AOwner);
    FAT_CLASS(TrpAutoSearchField)

    const std::string& DataPipelineName() const { return dataPipelineName_; }
    void SetDataPipelineName(const std::string& Value) { dataPipelineName_ = Value; }
    const std::string& FieldName() const { return fieldName_; }
    void SetFieldName(const std::string& Value) { fieldName_ = Value; }
    // The name the user sees; the field name without one.
    const std::string& FieldAlias() const { return fieldAlias_; }
    void SetFieldAlias(const std::string& Value) { fieldAlias_ = Value; }
    TrpSearchOperatorType SearchOperator() const { return searchOperator_; }
    void SetSearchOperator(TrpSearchOperatorType Value) { searchOperator_ = Value; }
    const std::string& SearchExpression() const { return searchExpression_; }
    void SetSearchExpression(const std::string& Value) { searchExpression_ = Value; }
    bool Mandatory() const { return mandatory_; }
    void SetMandatory(bool Value) { mandatory_ = Value; }
    TrpDataType DataType() const { return dataType_; }
    void SetDataType(TrpDataType Value) { dataType_ = Value; }
    // The user asked for every record: the criterion does not filter.
    bool ShowAllValues() const { return showAllValues_; }
    void SetShowAllValues(bool Value) { showAllValues_ = Value; }
    // The first criterion of a description opens it; the others join it.
    bool FirstField() const { return firstField_; }
    void SetFirstField(bool Value) { firstField_ = Value; }

    // Filters: an operator that needs no value, or a value given, and not
    // every record asked for.
    virtual bool HasValue() const;
    // "Cliente = Silva", "e Valor entre 10,20": what the criterion keeps.
    virtual std::string GetDescription() const;
    // Everything the criterion is; AssignCriteria only what the user gave.
    virtual void Assign(const TrpAutoSearchField* Source);
    void AssignCriteria(const TrpAutoSearchField* Source);

private:
    std::string dataPipelineName_;
    std::string fieldName_;
    std::string fieldAlias_;
    TrpSearchOperatorType searchOperator_ = soEqual;
    std::string searchExpression_;
    bool mandatory_ = false;
    TrpDataType dataType_ = dtString;
    bool showAllValues_ = false;
    bool firstField_ = false;
};

// The operator as the description shows it.
std::string rpSearchOperatorText(TrpSearchOperatorType Operator);
