// Published properties of the connection and query components, so that they
// can be created by name, streamed and reached through their metadata as
// every other component.
#include "platform/db/SQLConnection.h"
#include "platform/db/SQLQuery.h"
#include "platform/rtl/TypInfo.h"

TClass TSQLConnection::StaticClassType() {
    static const TClassInfo info =
        TClassBuilder<TSQLConnection>("TSQLConnection", TComponent::StaticClassType())
            .String("ConnectionString", &TSQLConnection::ConnectionString, &TSQLConnection::SetConnectionString)
            .Boolean("LoginPrompt", &TSQLConnection::LoginPrompt, &TSQLConnection::SetLoginPrompt, 1)
            .Integer("BusyTimeout", &TSQLConnection::BusyTimeout, &TSQLConnection::SetBusyTimeout)
            .Event("BeforeConnect", &TSQLConnection::BeforeConnect)
            .Event("AfterConnect", &TSQLConnection::AfterConnect)
            .Event("BeforeDisconnect", &TSQLConnection::BeforeDisconnect)
            .Event("AfterDisconnect", &TSQLConnection::AfterDisconnect)
            .Build();
    return &info;
}

TClass TSQLQuery::StaticClassType() {
    static const TClassInfo info =
        TClassBuilder<TSQLQuery>("TSQLQuery", TDataSet::StaticClassType())
            .Object("Connection", TSQLConnection::StaticClassType(), &TSQLQuery::Connection,
                    &TSQLQuery::SetConnection)
            .Object("DataSource", TDataSource::StaticClassType(), &TSQLQuery::DataSource,
                    &TSQLQuery::SetDataSource)
            .Boolean("ParamCheck", &TSQLQuery::ParamCheck, &TSQLQuery::SetParamCheck, 1)
            .Boolean("ReadOnly", &TSQLQuery::ReadOnly, &TSQLQuery::SetReadOnly, 0)
            .Object("SQL", TStrings::StaticClassType(), &TSQLQuery::SQL, nullptr)
            .Build();
    return &info;
}

TClass TSQLTable::StaticClassType() {
    static const TClassInfo info = TClassBuilder<TSQLTable>("TSQLTable", TSQLQuery::StaticClassType())
                                       .String("TableName", &TSQLTable::TableName, &TSQLTable::SetTableName)
                                       .Build();
    return &info;
}

namespace {

const bool registered = (RegisterClasses({TSQLConnection::StaticClassType(), TSQLQuery::StaticClassType(),
                                          TSQLTable::StaticClassType()}),
                         true);

}  // namespace
