// A statement the engine has prepared: its text (long literals cut out), the
// engine's statement, its input and output descriptions, and the values of
// the long literals, which join the application's parameter values at each
// execution.
#pragma once

#include <functional>
#include <vector>

#include "firebird/FbApi.h"
#include "firebird/FbLongLiterals.h"

namespace fbdrv {

class FbStatement : public odbcdrv::PreparedStatement {
  public:
    // Runs the statement with the application's values: the connection's
    // work, in its transaction.
    using Executor =
        std::function<odbcdrv::ExecResult(FbStatement&, const std::vector<odbcdrv::Value>&)>;
    // The precision of a NUMERIC or DECIMAL table column (0 when unknown), so
    // that result columns give the precision the catalog gives.
    using PrecisionLookup =
        std::function<SQLULEN(const std::string& table, const std::string& column)>;

    // Prepares sql in tx. Throws Firebird::FbException, and DriverError when
    // long literals and the statement's own markers cannot be told apart.
    FbStatement(Executor execute, Firebird::IAttachment* att, Firebird::ITransaction* tx,
                const std::string& sql, const PrecisionLookup& precision);
    ~FbStatement() override;
    FbStatement(const FbStatement&) = delete;
    FbStatement& operator=(const FbStatement&) = delete;

    size_t ParamCount() const override { return markers_; }
    odbcdrv::ColumnInfo DescribeParam(size_t i) override;
    const std::vector<odbcdrv::ColumnInfo>& Columns() const override { return columns_; }
    odbcdrv::ExecResult Execute(const std::vector<odbcdrv::Value>& params) override;

    Firebird::IStatement* Statement() const { return stmt_; }
    unsigned Type() const { return type_; }
    Firebird::IMessageMetadata* Input() const { return in_; }
    Firebird::IMessageMetadata* Output() const { return out_; }
    // The engine's values for every marker: the application's, in order, and
    // the long literals at their places.
    std::vector<odbcdrv::Value> EngineValues(const std::vector<odbcdrv::Value>& params) const;
    // Gives up the engine statement to a result set that frees it.
    Firebird::IStatement* Release();

  private:
    Executor execute_;
    Firebird::IAttachment* att_;
    FbLongLiterals literals_;
    Firebird::IStatement* stmt_ = nullptr;
    Firebird::IMessageMetadata* in_ = nullptr;
    Firebird::IMessageMetadata* out_ = nullptr;
    unsigned type_ = 0;
    size_t markers_ = 0;
    std::vector<unsigned> ownMarkers_;  // engine index of each of the application's markers
    std::vector<odbcdrv::ColumnInfo> columns_;
};

}  // namespace fbdrv
