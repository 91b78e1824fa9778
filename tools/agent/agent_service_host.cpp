// SPDX-License-Identifier: MIT
// agent_service_host.cpp
//
// The host build has no Service Control Manager: the service commands say
// so, and the agent always runs in the foreground.
#include "tools/agent/agent_service.h"

#include <pthread.h>
#include <signal.h>

#include <stdexcept>
#include <thread>

namespace agent {

namespace {

std::function<void()> stopAction;
std::thread stopWaiter;

sigset_t stopSignals()
{
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGINT);
    sigaddset(&set, SIGTERM);
    sigaddset(&set, SIGHUP);
    sigaddset(&set, SIGUSR1); // the object's own end
    return set;
}

} // namespace

// The stop signals are blocked in every thread (threads inherit the mask)
// and one thread waits for them; a signal handler could not take the
// poller's lock.
StopRequests::StopRequests(std::function<void()> stop)
{
    stopAction = std::move(stop);
    const sigset_t set = stopSignals();
    pthread_sigmask(SIG_BLOCK, &set, nullptr);
    stopWaiter = std::thread([] {
        const sigset_t waitFor = stopSignals();
        int signal = 0;
        sigwait(&waitFor, &signal);
        if (signal != SIGUSR1)
            stopAction();
    });
}

StopRequests::~StopRequests()
{
    pthread_kill(stopWaiter.native_handle(), SIGUSR1);
    stopWaiter.join();
    const sigset_t set = stopSignals();
    pthread_sigmask(SIG_UNBLOCK, &set, nullptr);
}

int runServiceCommand(const std::string& command, const std::vector<std::string>&, std::ostream&)
{
    throw std::runtime_error(command + ": a Windows service exists only in the Windows build; "
                                       "here run the agent in the foreground (zephr-agent run)");
}

bool runAsService(ServiceBody)
{
    return false;
}

std::string serviceLogPath()
{
    return {};
}

} // namespace agent
