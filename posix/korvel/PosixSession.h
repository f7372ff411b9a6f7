// korvel session's pseudo-terminal on POSIX systems (TConsole::RunSession).
#pragma once

#include <string>
#include <vector>

namespace korvel {
class TZORVAModule;
}
namespace korvel::cli {
class TOutput;
struct TSessionSettings;
}  // namespace korvel::cli

namespace korvel::posix {

int RunSession(const std::vector<std::string>& command, const cli::TSessionSettings& settings,
               TZORVAModule& module, const std::string& logPath, cli::TOutput& err);

}  // namespace korvel::posix
