#include "platform/posix/posix_launcher.h"

#include <cerrno>
#include <mutex>
#include <new>

#include "platform/posix/subprocess.h"

namespace tw::platform {

std::optional<std::vector<std::string>> splitArguments(std::string_view text) {
    std::vector<std::string> words;
    std::string word;
    bool inWord = false;
    size_t i = 0;
    const size_t n = text.size();
    while (i < n) {
        char c = text[i];
        if (c == ' ' || c == '\t' || c == '\n' || c == '\r') {
            if (inWord) words.push_back(std::move(word));
            word.clear();
            inWord = false;
            ++i;
            continue;
        }
        inWord = true;
        if (c == '\'') {
            size_t close = text.find('\'', i + 1);
            if (close == std::string_view::npos) return std::nullopt;
            word.append(text.substr(i + 1, close - i - 1));
            i = close + 1;
        } else if (c == '"') {
            ++i;
            bool closed = false;
            while (i < n) {
                char d = text[i];
                if (d == '"') {
                    closed = true;
                    ++i;
                    break;
                }
                if (d == '\\' && i + 1 < n &&
                    (text[i + 1] == '$' || text[i + 1] == '`' || text[i + 1] == '"' ||
                     text[i + 1] == '\\' || text[i + 1] == '\n')) {
                    if (text[i + 1] != '\n') word.push_back(text[i + 1]);
                    i += 2;
                    continue;
                }
                word.push_back(d);
                ++i;
            }
            if (!closed) return std::nullopt;
        } else if (c == '\\') {
            if (i + 1 >= n) return std::nullopt;
            if (text[i + 1] != '\n') word.push_back(text[i + 1]);
            i += 2;
        } else {
            word.push_back(c);
            ++i;
        }
    }
    if (inWord) words.push_back(std::move(word));
    return words;
}

namespace {

int launchCode(int err) {
    switch (err) {
        case ENOENT:
            return kLaunchFileNotFound;
        case ENOTDIR:
        case ELOOP:
        case ENAMETOOLONG:
            return kLaunchPathNotFound;
        case EACCES:
        case EPERM:
            return kLaunchAccessDenied;
        case ENOMEM:
        case EAGAIN:
            return kLaunchOutOfMemory;
        case ENOEXEC:
        case E2BIG:
            return kLaunchBadFormat;
        default:
            return kLaunchFailed;
    }
}

class PosixLauncher final : public Launcher {
  public:
    // Programs still running go on running after the agent.
    ~PosixLauncher() override {
        reap();
        for (auto& c : children_) c->release();
    }

    int launch(const std::string& program, const std::string& arguments) override {
        reap();
        try {
            auto words = splitArguments(arguments);
            if (!words) return kLaunchBadFormat;
            std::vector<std::string> args;
            args.reserve(words->size() + 1);
            args.push_back(program);
            for (auto& w : *words) args.push_back(std::move(w));
            return spawn(std::move(args));
        } catch (const std::bad_alloc&) {
            return kLaunchOutOfMemory;
        }
    }

    void reap() override {
        std::lock_guard<std::mutex> g(mu_);
        for (size_t i = 0; i < children_.size();) {
            // Ended (or no longer ours to wait for): forget it.
            if (children_[i]->wait(0)) {
                children_[i] = std::move(children_.back());
                children_.pop_back();
            } else {
                ++i;
            }
        }
    }

  private:
    int spawn(std::vector<std::string> argv) {
        SpawnPlan plan;
        plan.argv = std::move(argv);
        // Hidden: no console input or output (the plan's default).
        auto child = std::make_unique<Child>();
        if (int rc = child->start(plan); rc != 0) return launchCode(rc);
        std::lock_guard<std::mutex> g(mu_);
        children_.push_back(std::move(child));
        return kLaunchStarted;
    }

    std::mutex mu_;
    std::vector<std::unique_ptr<Child>> children_;
};

}  // namespace

std::unique_ptr<Launcher> makePosixLauncher() {
    return std::make_unique<PosixLauncher>();
}

}  // namespace tw::platform
