#include "history/HistoryDatabase.h"

#include <charconv>
#include <cmath>

void CHistoryDatabase::Rollback() {
    const std::string error = m_strError;
    const Fault fault = m_fault;
    Script("ROLLBACK");
    m_strError = error;
    m_fault = fault;
}

CHistoryValue CHistoryDatabase::QueryValue(const std::string& sql,
                                           const std::vector<CHistoryValue>& params) {
    CHistoryValue value;
    Run(sql, params, [&](const Row& row) {
        if (!row.empty()) {
            value = row[0];
        }
        return false;
    });
    return value;
}

std::int64_t CHistoryDatabase::AsInt(const CHistoryValue& v, std::int64_t fallback) {
    if (const auto* i = std::get_if<std::int64_t>(&v)) {
        return *i;
    }
    if (const auto* d = std::get_if<double>(&v)) {
        return std::isfinite(*d) ? static_cast<std::int64_t>(std::llround(*d)) : fallback;
    }
    if (const auto* s = std::get_if<std::string>(&v)) {
        std::int64_t value = 0;
        auto [end, ec] = std::from_chars(s->data(), s->data() + s->size(), value);
        return ec == std::errc() && end == s->data() + s->size() ? value : fallback;
    }
    return fallback;
}

double CHistoryDatabase::AsReal(const CHistoryValue& v, double fallback) {
    if (const auto* d = std::get_if<double>(&v)) {
        return *d;
    }
    if (const auto* i = std::get_if<std::int64_t>(&v)) {
        return static_cast<double>(*i);
    }
    if (const auto* s = std::get_if<std::string>(&v)) {
        // Whatever the process's locale, the database writes a dot.
        double value = 0.0;
        auto [end, ec] = std::from_chars(s->data(), s->data() + s->size(), value);
        return ec == std::errc() && end == s->data() + s->size() ? value : fallback;
    }
    return fallback;
}

std::string CHistoryDatabase::AsText(const CHistoryValue& v) {
    if (const auto* s = std::get_if<std::string>(&v)) {
        return *s;
    }
    if (const auto* i = std::get_if<std::int64_t>(&v)) {
        return std::to_string(*i);
    }
    if (const auto* d = std::get_if<double>(&v)) {
        char buffer[64];
        auto [end, ec] = std::to_chars(buffer, buffer + sizeof buffer, *d);
        return ec == std::errc() ? std::string(buffer, end) : std::string();
    }
    return {};
}

void CHistoryDatabase::SetError(Fault fault, const std::string& text) {
    m_fault = fault;
    m_strError = text;
}

void CHistoryDatabase::ClearError() {
    m_fault = Fault::none;
    m_strError.clear();
}
