// SPDX-License-Identifier: MIT
// run_program.cpp
//
// fork and exec with standard input, output and error on temporary files,
// so no pipe can fill up while the test waits.
#include "support/run_program.h"

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace tool_test {

namespace {

// A temporary file, removed when the object goes.
class TemporaryFile {
  public:
    TemporaryFile()
    {
        char pattern[] = "/tmp/tool-test-XXXXXX";
        descriptor_ = mkstemp(pattern);
        if (descriptor_ < 0)
            throw std::runtime_error("cannot make a temporary file in /tmp");
        path_ = pattern;
    }
    ~TemporaryFile()
    {
        close(descriptor_);
        unlink(path_.c_str());
    }
    TemporaryFile(const TemporaryFile&) = delete;
    TemporaryFile& operator=(const TemporaryFile&) = delete;

    int descriptor() const
    {
        return descriptor_;
    }
    std::string contents() const
    {
        std::ifstream file(path_, std::ios::binary);
        std::ostringstream text;
        text << file.rdbuf();
        return text.str();
    }
    void write(const std::string& text) const
    {
        std::ofstream file(path_, std::ios::binary);
        file << text;
    }

  private:
    int descriptor_ = -1;
    std::string path_;
};

// Waits for the child and gives its exit status (-1 when it did not exit).
int waitForExit(pid_t child, const std::string& program)
{
    int status = 0;
    if (waitpid(child, &status, 0) != child)
        throw std::runtime_error("lost the child running " + program);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

} // namespace

ProgramResult runProgram(const std::vector<std::string>& arguments, const std::string& input)
{
    TemporaryFile in, out, err;
    in.write(input);

    std::vector<char*> argv;
    for (const std::string& argument : arguments)
        argv.push_back(const_cast<char*>(argument.c_str()));
    argv.push_back(nullptr);

    std::fflush(nullptr);
    pid_t child = fork();
    if (child < 0)
        throw std::runtime_error("cannot fork to run " + arguments.at(0));
    if (child == 0) {
        dup2(in.descriptor(), STDIN_FILENO);
        lseek(STDIN_FILENO, 0, SEEK_SET);
        dup2(out.descriptor(), STDOUT_FILENO);
        dup2(err.descriptor(), STDERR_FILENO);
        execv(argv[0], argv.data());
        _exit(127);
    }
    ProgramResult result;
    result.exitStatus = waitForExit(child, arguments.at(0));
    result.out = out.contents();
    result.err = err.contents();
    return result;
}

ProgramResult runOnTerminal(const std::vector<std::string>& arguments,
                            const std::vector<TerminalStep>& steps, bool hangUp)
{
    TemporaryFile err;
    std::vector<char*> argv;
    for (const std::string& argument : arguments)
        argv.push_back(const_cast<char*>(argument.c_str()));
    argv.push_back(nullptr);

    int master = -1;
    winsize size = {};
    size.ws_row = 40;
    size.ws_col = 100;
    std::fflush(nullptr);
    pid_t child = forkpty(&master, nullptr, nullptr, &size);
    if (child < 0)
        throw std::runtime_error("cannot start " + arguments.at(0) + " on a pseudo-terminal");
    if (child == 0) {
        dup2(err.descriptor(), STDERR_FILENO);
        execv(argv[0], argv.data());
        _exit(127);
    }

    ProgramResult result;
    // Reads what the terminal shows; false at its end (the program closed it).
    auto readSome = [&]() {
        pollfd output = {master, POLLIN, 0};
        if (poll(&output, 1, 60000) <= 0) {
            kill(child, SIGKILL);
            waitForExit(child, arguments.at(0));
            close(master);
            throw std::runtime_error(arguments.at(0) +
                                     " showed nothing for a minute; so far: " + result.out);
        }
        char buffer[4096];
        const ssize_t length = read(master, buffer, sizeof buffer);
        if (length <= 0)
            return false;
        result.out.append(buffer, size_t(length));
        return true;
    };
    size_t seen = 0;
    for (const TerminalStep& step : steps) {
        size_t found;
        while ((found = result.out.find(step.waitFor, seen)) == std::string::npos)
            if (!readSome()) {
                close(master);
                waitForExit(child, arguments.at(0));
                throw std::runtime_error(arguments.at(0) + " ended before showing '" +
                                         step.waitFor + "': " + result.out);
            }
        seen = found + step.waitFor.size();
        if (write(master, step.send.data(), step.send.size()) != ssize_t(step.send.size()))
            throw std::runtime_error("cannot type on the terminal of " + arguments.at(0));
    }
    if (!hangUp)
        while (readSome()) {
        }
    close(master);
    result.exitStatus = waitForExit(child, arguments.at(0));
    result.err = err.contents();
    return result;
}

} // namespace tool_test
