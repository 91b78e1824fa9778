// SPDX-License-Identifier: MIT
// run_program.cpp
//
// fork and exec with standard input, output and error on temporary files,
// so no pipe can fill up while the test waits.
#include "support/run_program.h"

#include <fcntl.h>
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
    int status = 0;
    if (waitpid(child, &status, 0) != child)
        throw std::runtime_error("lost the child running " + arguments.at(0));

    ProgramResult result;
    if (WIFEXITED(status))
        result.exitStatus = WEXITSTATUS(status);
    result.out = out.contents();
    result.err = err.contents();
    return result;
}

} // namespace tool_test
