// The agent's commands: install, upgrade, remove, start and stop, and the
// service start when there is no command at all.
#pragma once

#include <functional>
#include <string>
#include <utility>
#include <vector>

namespace tw {

struct Agent;

// Where the commands print: standard output and standard error by default.
struct Console {
    std::function<void(const std::string&)> out;
    std::function<void(const std::string&)> err;
    static Console standard();
};

// The settings as install writes them and upgrade completes them, in the
// settings table's order.
class InstallDefaults {
  public:
    // The install defaults; withPool adds the empty WMITests and the default
    // WMIPool (as for every non-empty command line).
    explicit InstallDefaults(bool withPool);
    const std::string& get(const std::string& name) const;
    void set(const std::string& name, const std::string& text);
    const std::vector<std::pair<std::string, std::string>>& all() const { return values_; }

  private:
    std::vector<std::pair<std::string, std::string>> values_;
};

// The command dispatcher for a joined command line; answers the exit status.
int rundispatcher(Agent& agent, const std::string& joined,
                  const Console& console = Console::standard());

// "%s (0x%x)" of a system message and its code; empty when there is no
// message or it does not fit 256 characters.
std::string lasterrortext(const std::string& message, uint32_t code);

}  // namespace tw
