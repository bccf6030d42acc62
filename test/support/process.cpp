#include "test/support/process.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <cstdlib>
#include <stdexcept>

#include "test/support/fake_platform.h"

namespace tw::testing {

std::string binaryPath(const std::string& name) {
    return std::string(TW_BINARY_DIR) + "/" + name;
}

Process::Process(const std::string& program, const std::vector<std::string>& args,
                 const std::map<std::string, std::string>& env, const std::string& outputDir,
                 const std::string& inputPath) {
    static int counter = 0;
    ++counter;
    outPath_ = outputDir + "/proc" + std::to_string(counter) + ".out";
    errPath_ = outputDir + "/proc" + std::to_string(counter) + ".err";
    pid_ = fork();
    if (pid_ < 0) throw std::runtime_error("fork failed");
    if (pid_ == 0) {
        int out = open(outPath_.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        int err = open(errPath_.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        int in = open(inputPath.c_str(), O_RDONLY);
        dup2(in, 0);
        dup2(out, 1);
        dup2(err, 2);
        for (const auto& [k, v] : env) {
            if (v.empty() && k.front() == '-')
                unsetenv(k.c_str() + 1);
            else
                setenv(k.c_str(), v.c_str(), 1);
        }
        std::vector<char*> argv;
        argv.push_back(const_cast<char*>(program.c_str()));
        for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        execv(program.c_str(), argv.data());
        _exit(127);
    }
}

Process::~Process() {
    if (pid_ > 0 && !status_) {
        kill(pid_, SIGKILL);
        int st;
        waitpid(pid_, &st, 0);
    }
}

void Process::signal(int sig) {
    if (pid_ > 0 && !status_) kill(pid_, sig);
}

std::optional<int> Process::wait(int timeoutMs) {
    if (status_) return status_;
    for (int waited = 0;; waited += 10) {
        int st = 0;
        pid_t r = waitpid(pid_, &st, WNOHANG);
        if (r == pid_) {
            status_ = WIFEXITED(st) ? WEXITSTATUS(st) : 128 + WTERMSIG(st);
            return status_;
        }
        if (waited >= timeoutMs) return std::nullopt;
        sleepMs(10);
    }
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
