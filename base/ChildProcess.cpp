#include "base/ChildProcess.h"

#include <fcntl.h>
#include <poll.h>
#include <pthread.h>
#include <linux/close_range.h>
#include <sys/prctl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/eventfd.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <condition_variable>
#include <list>
#include <cstring>
#include <mutex>
#include <thread>
#include <unordered_set>

namespace tovarin {
namespace {

// The pids of launched children not yet reaped. A pid leaves in the same step that
// reaps it, so while it is here it cannot belong to another process.
struct UnreapedChildren {
  std::mutex mutex;
  std::unordered_set<pid_t> pids;  // mutex

  static UnreapedChildren& shared() {
    static auto* instance = new UnreapedChildren();
    return *instance;
  }
};

}  // namespace

struct ChildProcess::State {
  pid_t pid = -1;
  int pidfd = -1;  // owned by the reaper once watched
  ExitHandler onExit;

  mutable std::mutex mutex;
  bool reaped = false;  // mutex
  int status = 0;       // mutex

  // Collects the exit status if the child has ended; true once it has been reaped.
  bool reap() {
    std::lock_guard lock(mutex);
    if (reaped) return true;
    auto& unreaped = UnreapedChildren::shared();
    std::lock_guard registry(unreaped.mutex);
    int waitStatus = 0;
    pid_t result;
    do {
      result = ::waitpid(pid, &waitStatus, WNOHANG);
    } while (result < 0 && errno == EINTR);
    if (result == pid) {
      reaped = true;
      status = waitStatus;
    } else if (result < 0 && errno == ECHILD) {
      reaped = true;  // cannot happen while only we reap by pid; never signal it again
      status = -1;
    }
    if (reaped) unreaped.pids.erase(pid);
    return reaped;
  }
};

namespace {

// Watches every launched child and reaps it when it exits, so that no zombie is left
// even when nobody asks. Lives until exit; its thread is never joined.
class Reaper final {
 public:
  static Reaper& shared() {
    static Reaper* instance = new Reaper();
    return *instance;
  }

  void watch(std::shared_ptr<ChildProcess::State> state) {
    {
      std::lock_guard lock(mutex_);
      added_.push_back(std::move(state));
    }
    uint64_t one = 1;
    (void)!::write(wakeFd_, &one, sizeof one);
  }

 private:
  Reaper() : wakeFd_(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {
    std::thread thread([this] { run(); });
    pthread_setname_np(thread.native_handle(), "tovarin-reaper");
    thread.detach();
  }

  void run() {
    std::vector<std::shared_ptr<ChildProcess::State>> watched;
    for (;;) {
      {
        std::lock_guard lock(mutex_);
        for (auto& state : added_) watched.push_back(std::move(state));
        added_.clear();
      }
      std::vector<pollfd> waits{{wakeFd_, POLLIN, 0}};
      bool polling = false;  // a child without a pidfd is checked on a short tick
      for (const auto& state : watched) {
        waits.push_back({state->pidfd, POLLIN, 0});
        polling = polling || state->pidfd < 0;
      }
      int ready = ::poll(waits.data(), waits.size(), polling ? 50 : -1);
      if (ready < 0 && errno != EINTR) polling = true;
      if (waits[0].revents != 0) {
        uint64_t drained;
        (void)!::read(wakeFd_, &drained, sizeof drained);
      }
      std::vector<std::shared_ptr<ChildProcess::State>> ended;
      for (size_t i = 0; i < watched.size();) {
        auto& state = watched[i];
        bool mayHaveEnded = waits[i + 1].revents != 0 || state->pidfd < 0 || ready < 0;
        if (mayHaveEnded && state->reap()) {
          if (state->pidfd >= 0) ::close(state->pidfd);
          ended.push_back(std::move(state));
          watched.erase(watched.begin() + static_cast<std::ptrdiff_t>(i));
          waits.erase(waits.begin() + static_cast<std::ptrdiff_t>(i) + 1);
        } else {
          ++i;
        }
      }
      for (auto& state : ended) {
        if (!state->onExit) continue;
        int status;
        {
          std::lock_guard lock(state->mutex);
          status = state->status;
        }
        auto handler = std::move(state->onExit);
        state->onExit = nullptr;
        handler(status);
      }
    }
  }

  const int wakeFd_;
  std::mutex mutex_;
  std::vector<std::shared_ptr<ChildProcess::State>> added_;  // mutex_
};

std::vector<char*> pointersOf(std::vector<std::string>& strings) {
  std::vector<char*> pointers;
  pointers.reserve(strings.size() + 1);
  for (std::string& text : strings) pointers.push_back(text.data());
  pointers.push_back(nullptr);
  return pointers;
}

// posix_spawn's file actions and attributes, released on every path.
struct SpawnSetup {
  posix_spawn_file_actions_t actions;
  posix_spawnattr_t attributes;
  SpawnSetup() {
    posix_spawn_file_actions_init(&actions);
    posix_spawnattr_init(&attributes);
  }
  ~SpawnSetup() {
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attributes);
  }
};

}  // namespace

ChildProcess::ChildProcess(std::shared_ptr<State> state, int outputFd)
    : state_(std::move(state)), outputFd_(outputFd) {}

ChildProcess::~ChildProcess() {
  if (outputFd_ >= 0) ::close(outputFd_);
}

namespace {

// What both ways of starting a child need, prepared before it starts: after a fork in
// a threaded program only async-signal-safe calls may run, so nothing is allocated there.
struct SpawnPlan {
  const ChildProcessOptions& options;
  int outputWrite;  // the pipe's write end with captureStdout, else -1
  std::vector<std::string> argv;
  std::vector<std::string> envp;
  std::vector<char*> argvPointers;
  std::vector<char*> envpPointers;

  SpawnPlan(const ChildProcessOptions& options, int outputWrite)
      : options(options), outputWrite(outputWrite), argv{options.executable}, envp(options.environment) {
    argv.insert(argv.end(), options.arguments.begin(), options.arguments.end());
    argvPointers = pointersOf(argv);
    envpPointers = pointersOf(envp);
  }
};

// Returns 0 and the pid, or an errno value.
int spawnWithPosixSpawn(SpawnPlan& plan, pid_t& pid) {
  const ChildProcessOptions& options = plan.options;
  SpawnSetup setup;
  if (!options.inheritStdin) {
    posix_spawn_file_actions_addopen(&setup.actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
  }
  if (plan.outputWrite >= 0) {
    posix_spawn_file_actions_adddup2(&setup.actions, plan.outputWrite, STDOUT_FILENO);
  } else {
    posix_spawn_file_actions_addopen(&setup.actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
  }
  posix_spawn_file_actions_addopen(&setup.actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
  // Also closes descriptors that some library opened without close-on-exec.
  posix_spawn_file_actions_addclosefrom_np(&setup.actions, 3);
  if (!options.workingDirectory.empty()) {
    posix_spawn_file_actions_addchdir_np(&setup.actions, options.workingDirectory.c_str());
  }
  sigset_t signals;
  sigemptyset(&signals);
  posix_spawnattr_setsigmask(&setup.attributes, &signals);
  sigfillset(&signals);
  posix_spawnattr_setsigdefault(&setup.attributes, &signals);
  posix_spawnattr_setflags(&setup.attributes, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
  return ::posix_spawn(&pid, options.executable.c_str(), &setup.actions, &setup.attributes,
                       plan.argvPointers.data(), plan.envpPointers.data());
}

// The child side of spawnTiedToProgram: async-signal-safe calls only. Any failure is
// written to `report` (close-on-exec, so a successful exec closes it silently).
[[noreturn]] void becomeChild(SpawnPlan& plan, pid_t program, int report) {
  auto fail = [report](int error) {
    (void)!::write(report, &error, sizeof error);
    ::_exit(127);
  };
  // Ends with the thread that forked it, which lives as long as the program. If the
  // program died before this line, the parent is already someone else: give up.
  if (::prctl(PR_SET_PDEATHSIG, SIGTERM) != 0) fail(errno);
  if (::getppid() != program) ::_exit(127);
  struct sigaction byDefault{};
  byDefault.sa_handler = SIG_DFL;
  for (int signalNumber = 1; signalNumber < NSIG; ++signalNumber) ::sigaction(signalNumber, &byDefault, nullptr);
  sigset_t none;
  sigemptyset(&none);
  ::sigprocmask(SIG_SETMASK, &none, nullptr);
  const ChildProcessOptions& options = plan.options;
  auto redirect = [&](const char* path, int flags, int target) {
    int fd = ::open(path, flags | O_CLOEXEC);
    if (fd < 0 || ::dup2(fd, target) < 0) fail(errno);
    ::close(fd);
  };
  if (!options.inheritStdin) redirect("/dev/null", O_RDONLY, STDIN_FILENO);
  if (plan.outputWrite >= 0) {
    if (::dup2(plan.outputWrite, STDOUT_FILENO) < 0) fail(errno);
  } else {
    redirect("/dev/null", O_WRONLY, STDOUT_FILENO);
  }
  redirect("/dev/null", O_WRONLY, STDERR_FILENO);
  if (!options.workingDirectory.empty() && ::chdir(options.workingDirectory.c_str()) != 0) fail(errno);
  // Marked rather than closed, so that `report` stays open until the exec succeeds.
  if (::syscall(SYS_close_range, 3u, ~0u, CLOSE_RANGE_CLOEXEC) != 0) {
    for (int fd = 3; fd < 65536; ++fd) ::fcntl(fd, F_SETFD, FD_CLOEXEC);
  }
  ::execve(options.executable.c_str(), plan.argvPointers.data(), plan.envpPointers.data());
  const int error = errno;
  (void)!::write(report, &error, sizeof error);
  ::_exit(127);
}

// Forks from the launcher thread and waits for the exec; 0 and the pid, or an errno value.
int spawnTiedToProgram(SpawnPlan& plan, pid_t& pid) {
  int report[2];
  if (::pipe2(report, O_CLOEXEC) != 0) return errno;
  const pid_t program = ::getpid();
  pid = ::fork();
  if (pid == 0) becomeChild(plan, program, report[1]);
  const int forkError = errno;
  ::close(report[1]);
  if (pid < 0) {
    ::close(report[0]);
    return forkError;
  }
  int childError = 0;
  ssize_t got;
  do {
    got = ::read(report[0], &childError, sizeof childError);
  } while (got < 0 && errno == EINTR);
  ::close(report[0]);
  if (got == static_cast<ssize_t>(sizeof childError)) {
    while (::waitpid(pid, nullptr, 0) < 0 && errno == EINTR) {
    }
    return childError;
  }
  return 0;
}

// The kernel's parent-death signal follows the thread that forked the child, not the
// process: a child started from a pool or queue thread would be killed when that thread
// ends. Children that must end with the program are forked here, on a thread that lives
// until exit.
class LauncherThread final {
 public:
  static LauncherThread& shared() {
    static LauncherThread* instance = new LauncherThread();
    return *instance;
  }

  int spawn(SpawnPlan& plan, pid_t& pid) {
    std::unique_lock lock(mutex_);
    requests_.push_back(Request{&plan, &pid, -1});
    Request* mine = &requests_.back();
    ready_.notify_all();
    done_.wait(lock, [mine] { return mine->result >= 0; });
    const int result = mine->result;
    for (auto it = requests_.begin(); it != requests_.end(); ++it) {
      if (&*it == mine) {
        requests_.erase(it);
        break;
      }
    }
    return result;
  }

 private:
  struct Request {
    SpawnPlan* plan;
    pid_t* pid;
    int result;  // -1 while pending
  };

  LauncherThread() {
    std::thread thread([this] { run(); });
    pthread_setname_np(thread.native_handle(), "tovarin-launcher");
    thread.detach();
  }

  void run() {
    std::unique_lock lock(mutex_);
    for (;;) {
      ready_.wait(lock, [this] { return pendingRequest() != nullptr; });
      Request* request = pendingRequest();
      request->result = spawnTiedToProgram(*request->plan, *request->pid);
      done_.notify_all();
    }
  }

  Request* pendingRequest() {
    for (Request& request : requests_) {
      if (request.result < 0) return &request;
    }
    return nullptr;
  }

  std::mutex mutex_;
  std::condition_variable ready_;
  std::condition_variable done_;
  std::list<Request> requests_;  // mutex_
};

}  // namespace

ChildProcess::Launch ChildProcess::launch(const ChildProcessOptions& options, ExitHandler onExit) {
  if (options.executable.empty()) return {nullptr, "no executable given"};
  int outputPipe[2] = {-1, -1};
  if (options.captureStdout && ::pipe2(outputPipe, O_CLOEXEC) != 0) {
    return {nullptr, std::string("cannot make a pipe: ") + std::strerror(errno)};
  }

  SpawnPlan plan(options, options.captureStdout ? outputPipe[1] : -1);
  pid_t pid = -1;
  int failure = options.endsWithProgram ? LauncherThread::shared().spawn(plan, pid) : spawnWithPosixSpawn(plan, pid);
  if (options.captureStdout) ::close(outputPipe[1]);
  if (failure != 0) {
    if (options.captureStdout) ::close(outputPipe[0]);
    return {nullptr, std::strerror(failure)};
  }

  auto state = std::make_shared<State>();
  state->pid = pid;
  // -1 on old kernels: the reaper then polls. (The glibc wrapper lacks C linkage in
  // Debian 12's headers, hence the raw system call.)
  state->pidfd = static_cast<int>(::syscall(SYS_pidfd_open, pid, 0));
  if (state->pidfd >= 0) ::fcntl(state->pidfd, F_SETFD, FD_CLOEXEC);
  state->onExit = std::move(onExit);
  {
    auto& unreaped = UnreapedChildren::shared();
    std::lock_guard registry(unreaped.mutex);
    unreaped.pids.insert(pid);
  }
  Reaper::shared().watch(state);
  return {std::shared_ptr<ChildProcess>(new ChildProcess(state, options.captureStdout ? outputPipe[0] : -1)), ""};
}

pid_t ChildProcess::pid() const { return state_->pid; }

bool ChildProcess::isUnreapedChild(pid_t pid) {
  auto& unreaped = UnreapedChildren::shared();
  std::lock_guard registry(unreaped.mutex);
  return unreaped.pids.count(pid) != 0;
}

bool ChildProcess::isRunning() { return !state_->reap(); }

bool ChildProcess::signal(int signalNumber) {
  // Holding the lock keeps the reaper from collecting the child (and freeing its pid
  // for reuse) between the check and the kill.
  std::lock_guard lock(state_->mutex);
  if (state_->reaped) return false;
  return ::kill(state_->pid, signalNumber) == 0;
}

int ChildProcess::wait() {
  // Wait for the exit without collecting it, then collect it through the one path.
  siginfo_t info{};
  while (::waitid(P_PID, static_cast<id_t>(state_->pid), &info, WEXITED | WNOWAIT) < 0 && errno == EINTR) {
  }
  state_->reap();
  return waitStatus().value_or(-1);
}

std::optional<int> ChildProcess::waitStatus() const {
  std::lock_guard lock(state_->mutex);
  if (!state_->reaped) return std::nullopt;
  return state_->status;
}

std::string ChildProcess::readAllOutput() {
  std::string output;
  if (outputFd_ < 0) return output;
  char chunk[8192];
  for (;;) {
    ssize_t got = ::read(outputFd_, chunk, sizeof chunk);
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) break;
    output.append(chunk, static_cast<size_t>(got));
  }
  ::close(outputFd_);
  outputFd_ = -1;
  return output;
}

}  // namespace tovarin
