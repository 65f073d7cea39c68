#include "tools/BatchWriter.h"

namespace {

constexpr size_t kMaxBytes = 30000;
constexpr size_t kMaxRows = 200;

}  // namespace

bool BatchWriter::Add(const InsertBuilder& row) {
    std::string sql = row.Sql();
    if (kind_ == PracticeKind::Firebird) {
        if (session_.Execute(sql)) return true;
        error_ = session_.LastError() + "\n" + sql;
        return false;
    }
    // A value-row list needs one table and one column list.
    std::string key = row.Table() + " (" + row.Columns() + ")";
    Pending& p = pending_[key];
    if (!p.rows.empty() && (p.bytes + sql.size() > kMaxBytes || p.rows.size() >= kMaxRows)) {
        if (!Send(key, p)) return false;
    }
    p.bytes += sql.size();
    p.rows.push_back(std::move(sql));
    p.values.push_back(row.Values());
    return true;
}

bool BatchWriter::Flush() {
    for (auto& [key, p] : pending_)
        if (!Send(key, p)) return false;
    pending_.clear();
    return true;
}

bool BatchWriter::Send(const std::string& key, Pending& p) {
    bool ok = true;
    if (p.rows.size() == 1) {
        ok = SendOneByOne(p);
    } else if (!p.rows.empty()) {
        std::string batch = "insert into " + key + " values ";
        for (size_t i = 0; i < p.values.size(); ++i) batch += (i ? ", (" : "(") + p.values[i] + ")";
        // A failed statement leaves the transaction's earlier rows in place,
        // so the rows can be retried one by one.
        ok = session_.Execute(batch) || SendOneByOne(p);
    }
    p = Pending();
    return ok;
}

bool BatchWriter::SendOneByOne(const Pending& p) {
    for (const std::string& r : p.rows) {
        if (!session_.Execute(r)) {
            error_ = session_.LastError() + "\n" + r;
            return false;
        }
    }
    return true;
}
