#pragma once

#include <memory>
#include <string_view>
#include <system_error>

#include "fs/write/FileWriter.h"

namespace veltrane::test {

// Passes writes on until `budget` bytes have gone through, then fails like a full disk; with
// failSync, the flush to the device fails instead (every write goes through).
class FailingWriter : public FileWriter {
public:
    FailingWriter(std::unique_ptr<FileWriter> inner, size_t budget, bool failSync = false)
        : m_inner(std::move(inner)), m_budget(budget), m_failSync(failSync) {}
    bool Write(std::string_view data, std::error_code& ec) override {
        if (!m_failSync && data.size() > m_budget) {
            m_inner->Write(data.substr(0, m_budget), ec);
            m_budget = 0;
            ec = std::make_error_code(std::errc::no_space_on_device);
            return false;
        }
        m_budget -= m_failSync ? 0 : data.size();
        return m_inner->Write(data, ec);
    }
    bool Sync(std::error_code& ec) override {
        if (m_failSync) {
            ec = std::make_error_code(std::errc::io_error);
            return false;
        }
        return m_inner->Sync(ec);
    }
    bool Close(std::error_code& ec) override { return m_inner->Close(ec); }

private:
    std::unique_ptr<FileWriter> m_inner;
    size_t m_budget;
    bool m_failSync;
};

}  // namespace veltrane::test
