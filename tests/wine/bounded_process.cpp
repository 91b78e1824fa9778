// SPDX-License-Identifier: MIT
// bounded_process.cpp
//
// fork and exec into a process group of its own, so that at the limit the
// program and everything it started are killed together.
#include "wine/bounded_process.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <thread>

namespace wine_test {

namespace {

// An open descriptor, closed when the object goes.
class Descriptor {
  public:
    explicit Descriptor(int descriptor) : descriptor_(descriptor) {}
    ~Descriptor()
    {
        if (descriptor_ >= 0)
            close(descriptor_);
    }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    int get() const
    {
        return descriptor_;
    }

  private:
    int descriptor_;
};

int openOutput(const std::filesystem::path& path)
{
    int descriptor = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (descriptor < 0)
        throw std::runtime_error("cannot create " + path.string() + ": " + std::strerror(errno));
    return descriptor;
}

std::vector<char*> pointersTo(const std::vector<std::string>& texts)
{
    std::vector<char*> pointers;
    for (const std::string& text : texts)
        pointers.push_back(const_cast<char*>(text.c_str()));
    pointers.push_back(nullptr);
    return pointers;
}

} // namespace

std::filesystem::path findInPath(const std::string& name)
{
    const char* path = std::getenv("PATH");
    std::stringstream folders(path ? path : "/usr/local/bin:/usr/bin:/bin");
    std::string folder;
    while (std::getline(folders, folder, ':')) {
        std::filesystem::path candidate =
            std::filesystem::path(folder.empty() ? "." : folder) / name;
        if (access(candidate.c_str(), X_OK) == 0)
            return candidate;
    }
    return {};
}

std::string readFile(const std::filesystem::path& path)
{
    std::ifstream file(path, std::ios::binary);
    std::ostringstream text;
    text << file.rdbuf();
    return text.str();
}

BoundedRun runBounded(const std::vector<std::string>& arguments,
                      const std::vector<std::string>& environment, std::chrono::seconds limit,
                      const std::filesystem::path& outPath, const std::filesystem::path& errPath)
{
    std::filesystem::path program = arguments.at(0);
    if (program.filename() == program)
        program = findInPath(arguments.at(0));
    if (program.empty())
        throw std::runtime_error("'" + arguments.at(0) + "' is not in PATH");

    Descriptor out(openOutput(outPath));
    Descriptor err(openOutput(errPath));
    Descriptor in(open("/dev/null", O_RDONLY | O_CLOEXEC));
    std::vector<char*> argv = pointersTo(arguments);
    std::vector<char*> envp = pointersTo(environment);

    pid_t child = fork();
    if (child < 0)
        throw std::runtime_error("cannot fork to run " + program.string());
    if (child == 0) {
        setpgid(0, 0);
        dup2(in.get(), STDIN_FILENO);
        dup2(out.get(), STDOUT_FILENO);
        dup2(err.get(), STDERR_FILENO);
        execve(program.c_str(), argv.data(), envp.data());
        _exit(127);
    }
    setpgid(child, child); // also here, so the group exists before any kill

    BoundedRun run;
    auto deadline = std::chrono::steady_clock::now() + limit;
    int status = 0;
    for (;;) {
        pid_t done = waitpid(child, &status, WNOHANG);
        if (done == child)
            break;
        if (done < 0 && errno != EINTR)
            throw std::runtime_error("lost the child running " + program.string());
        if (std::chrono::steady_clock::now() >= deadline) {
            run.timedOut = true;
            kill(-child, SIGKILL);
            waitpid(child, &status, 0);
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    if (!run.timedOut && WIFEXITED(status))
        run.exitStatus = WEXITSTATUS(status);
    return run;
}

} // namespace wine_test
