// Collects what a component's OnLog delivers (thread-safe), for tests of where log lines go.
#pragma once

#include <mutex>
#include <ostream>
#include <string>
#include <vector>

#include "component/DIdezuDOR.h"

namespace kvtest {

struct LogLine {
    int Index;
    kv::TLogLevel Level;
    std::string Text;
    bool operator==(const LogLine&) const = default;
};

inline std::ostream& operator<<(std::ostream& Out, const LogLine& Line)
{
    return Out << "(" << Line.Index << ", " << Line.Level << ", \"" << Line.Text << "\")";
}

class LogCapture {
public:
    void Attach(kv::TCustomDIdezuDOR& Component)
    {
        Component.OnLog = [this](int AIndex, kv::TLogLevel ALevel, const std::string& AMsg) {
            std::lock_guard<std::mutex> guard(m_lock);
            m_lines.push_back({AIndex, ALevel, AMsg});
        };
    }
    std::vector<LogLine> Lines() const
    {
        std::lock_guard<std::mutex> guard(m_lock);
        return m_lines;
    }
    void Clear()
    {
        std::lock_guard<std::mutex> guard(m_lock);
        m_lines.clear();
    }

private:
    mutable std::mutex m_lock;
    std::vector<LogLine> m_lines;
};

}  // namespace kvtest
