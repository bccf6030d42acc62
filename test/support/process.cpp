#include "test/support/process.h"

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <string_view>

#include "platform/posix/subprocess.h"
#include "test/support/fake_platform.h"

extern char** environ;

namespace tw::testing {

std::string binaryPath(const std::string& name) {
    return std::string(TW_BINARY_DIR) + "/" + name;
}

Process::Process(const std::string& program, const std::vector<std::string>& args,
                 const std::map<std::string, std::string>& env, const std::string& outputDir,
                 const std::string& inputPath)
    : child_(std::make_unique<platform::Child>()) {
    static int counter = 0;
    ++counter;
    outPath_ = outputDir + "/proc" + std::to_string(counter) + ".out";
    errPath_ = outputDir + "/proc" + std::to_string(counter) + ".err";
    // Our environment with the changes: "-NAME" with an empty value removes NAME.
    std::map<std::string, std::string> vars;
    for (char** e = environ; *e; ++e) {
        std::string_view v(*e);
        const size_t eq = v.find('=');
        if (eq != std::string_view::npos) vars[std::string(v.substr(0, eq))] = v.substr(eq + 1);
    }
    for (const auto& [k, v] : env) {
        if (v.empty() && k.front() == '-')
            vars.erase(k.substr(1));
        else
            vars[k] = v;
    }
    platform::SpawnPlan plan;
    plan.argv.push_back(program);
    plan.argv.insert(plan.argv.end(), args.begin(), args.end());
    plan.env.emplace();
    for (const auto& [k, v] : vars) plan.env->push_back(k + "=" + v);
    const int in = open(inputPath.c_str(), O_RDONLY | O_CLOEXEC);
    const int out = open(outPath_.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    const int err = open(errPath_.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    plan.stdio = {in, out, err};
    const int rc = (in >= 0 && out >= 0 && err >= 0) ? child_->start(plan) : errno;
    for (int fd : {in, out, err})
        if (fd >= 0) close(fd);
    // A program that cannot be started ends as a shell reports it.
    if (rc != 0) status_ = 127;
}

Process::~Process() = default;

pid_t Process::pid() const {
    return child_->pid();
}

void Process::signal(int sig) {
    child_->signal(sig);
}

std::optional<int> Process::wait(int timeoutMs) {
    if (status_) return status_;
    const auto st = child_->wait(platform::nowMs() + timeoutMs);
    if (!st) return std::nullopt;
    if (*st == platform::kNoStatus) return std::nullopt;
    status_ = WIFEXITED(*st) ? WEXITSTATUS(*st) : 128 + WTERMSIG(*st);
    return status_;
}

std::string Process::out() const {
    return readFile(outPath_);
}
std::string Process::err() const {
    return readFile(errPath_);
}

RunResult runProgram(const std::string& program, const std::vector<std::string>& args,
                     const std::map<std::string, std::string>& env, int timeoutMs,
                     const std::string& input) {
    TempDir dir;
    RunResult r;
    writeFile(dir.file("input"), input);
    Process p(program, args, env, dir.path(), dir.file("input"));
    auto st = p.wait(timeoutMs);
    r.status = st ? *st : -1;
    r.out = p.out();
    r.err = p.err();
    return r;
}

}  // namespace tw::testing
