#include "firebird/FbStatement.h"

#include <utility>

#include "firebird/FbRowReader.h"

namespace fbdrv {

using odbcdrv::ColumnInfo;
using odbcdrv::Value;

FbStatement::FbStatement(Executor execute, Firebird::IAttachment* att, Firebird::ITransaction* tx,
                         const std::string& sql, const PrecisionLookup& precision)
    : execute_(std::move(execute)), att_(att), literals_(sql) {
    if (literals_.Depth() > odbcdrv::kMaxParenthesisDepth)
        throw odbcdrv::NestedTooDeep("parentheses", odbcdrv::kMaxParenthesisDepth);
    const std::string& text = literals_.Any() ? literals_.Sql() : sql;
    FbStatus st;
    try {
        stmt_ = att_->prepare(&st, tx, static_cast<unsigned>(text.size()), text.data(),
                              SQL_DIALECT_V6, Firebird::IStatement::PREPARE_PREFETCH_METADATA);
        type_ = stmt_->getType(&st);
        in_ = stmt_->getInputMetadata(&st);
        out_ = stmt_->getOutputMetadata(&st);
        const unsigned engineMarkers = in_->getCount(&st);
        if (literals_.Any()) {
            // The scan found the markers where the engine did, unless the text
            // hides one from it (a q'...' literal): then nothing is guessed.
            if (literals_.Slots().size() != engineMarkers)
                throw odbcdrv::DriverError(
                    "HY000",
                    "A literal longer than 65,535 bytes cannot be combined with the parameter "
                    "markers of this statement.");
            for (unsigned i = 0; i < engineMarkers; ++i)
                if (literals_.Slots()[i] < 0) ownMarkers_.push_back(i);
        } else {
            for (unsigned i = 0; i < engineMarkers; ++i) ownMarkers_.push_back(i);
        }
        markers_ = ownMarkers_.size();
        if (type_ == isc_info_sql_stmt_select || type_ == isc_info_sql_stmt_select_for_upd ||
            out_->getCount(&st) > 0)
            columns_ = FbRowReader(att_, out_, &precision).Columns();
    } catch (...) {
        if (in_) in_->release();
        if (out_) out_->release();
        if (stmt_) stmt_->release();
        throw;
    }
}

FbStatement::~FbStatement() {
    in_->release();
    out_->release();
    if (stmt_) {
        try {
            FbStatus st;
            stmt_->free(&st);
        } catch (const Firebird::FbException&) {
            stmt_->release();
        }
    }
}

Firebird::IStatement* FbStatement::Release() {
    Firebird::IStatement* s = stmt_;
    stmt_ = nullptr;
    return s;
}

ColumnInfo FbStatement::DescribeParam(size_t i) {
    try {
        ColumnInfo c = FbRowReader(att_, in_).Columns().at(ownMarkers_.at(i));
        c.name.clear();
        c.nullable = SQL_NULLABLE;
        return c;
    } catch (const Firebird::FbException& e) {
        throw ToDriverError(e);
    }
}

std::vector<Value> FbStatement::EngineValues(const std::vector<Value>& params) const {
    if (!literals_.Any()) return std::vector<Value>(params.begin(), params.begin() + markers_);
    std::vector<Value> values;
    size_t next = 0;
    for (int slot : literals_.Slots())
        values.push_back(slot < 0 ? params.at(next++) : Value::String(literals_.Value(slot)));
    return values;
}

odbcdrv::ExecResult FbStatement::Execute(const std::vector<Value>& params) {
    return execute_(*this, params);
}

}  // namespace fbdrv
