#include "base/ChildProcess.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "tests/support/Eventually.h"
#include "tests/support/TempDir.h"

extern char** environ;

namespace tovarin {
namespace {

std::shared_ptr<ChildProcess> launchShell(const std::string& script, ChildProcessOptions options = {},
                                          ChildProcess::ExitHandler onExit = nullptr) {
  options.executable = "/bin/sh";
  options.arguments.insert(options.arguments.begin(), {"-c", script});
  options.captureStdout = true;
  auto launched = ChildProcess::launch(options, std::move(onExit));
  EXPECT_NE(launched.process, nullptr) << launched.error;
  return launched.process;
}

TEST(ChildProcessTest, PassesArgvWorkingDirectoryAndExactlyTheGivenEnvironment) {
  TempDir dir;
  ChildProcessOptions options;
  options.arguments = {"zero", "a b", "", "ü=ß"};
  options.workingDirectory = dir.path();
  options.environment = {"ALPHA=1", "EMPTY=", "WITH_EQUALS=x=y"};
  auto child = launchShell(R"(printf '[%s]' "$0" "$@"; echo; pwd; env | LC_ALL=C sort)", options);
  ASSERT_NE(child, nullptr);
  std::string output = child->readAllOutput();
  EXPECT_EQ(WEXITSTATUS(child->wait()), 0);
  std::string expectedDir = std::filesystem::canonical(dir.path()).string();
  // sh adds PWD itself; nothing else from our own environment may leak in.
  EXPECT_EQ(output, "[zero][a b][][ü=ß]\n" + expectedDir + "\nALPHA=1\nEMPTY=\nPWD=" + expectedDir +
                        "\nWITH_EQUALS=x=y\n");
}

TEST(ChildProcessTest, StandardStreamsGoWhereAsked) {
  struct Case {
    bool inheritStdin;
    std::string expectedStdin;
  };
  std::string ourStdin = std::filesystem::read_symlink("/proc/self/fd/0").string();
  for (const Case& testCase : {Case{false, "/dev/null"}, Case{true, ourStdin}}) {
    SCOPED_TRACE(testCase.inheritStdin);
    ChildProcessOptions options;
    options.inheritStdin = testCase.inheritStdin;
    auto child = launchShell("readlink /proc/$$/fd/0; readlink /proc/$$/fd/2; echo gone >&2", options);
    ASSERT_NE(child, nullptr);
    EXPECT_EQ(child->readAllOutput(), testCase.expectedStdin + "\n/dev/null\n");
  }
  ChildProcessOptions quiet;
  quiet.executable = "/bin/sh";
  // Not captured, both output streams go to the null device: the exit status tells.
  quiet.arguments = {"-c", "test \"$(readlink /proc/$$/fd/1)\" = /dev/null && test \"$(readlink /proc/$$/fd/2)\" = /dev/null"};
  auto launched = ChildProcess::launch(quiet);
  ASSERT_NE(launched.process, nullptr);
  EXPECT_EQ(launched.process->readAllOutput(), "");
  const int status = launched.process->wait();
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0);
}

TEST(ChildProcessTest, ChildSeesOnlyTheThreeStandardDescriptors) {
  // Opened without close-on-exec on purpose, as careless library code would.
  int leaky = ::open("/dev/null", O_RDONLY);
  ASSERT_GE(leaky, 3);
  // ls in the shell's place, so no pipeline of the shell's own is open meanwhile; 3 is
  // the directory ls itself reads, the lowest descriptor free in a clean child.
  auto child = launchShell("LC_ALL=C exec ls -1 /proc/self/fd");
  ASSERT_NE(child, nullptr);
  std::string output = child->readAllOutput();
  ::close(leaky);
  EXPECT_EQ(output, "0\n1\n2\n3\n");
}

TEST(ChildProcessTest, LaunchFailuresAreReportedNotThrown) {
  TempDir dir;
  std::string notExecutable = dir.path() + "/plain.txt";
  { std::ofstream(notExecutable) << "x"; }
  struct Case {
    const char* name;
    std::string executable;
    std::string workingDirectory;
  };
  const Case cases[] = {
      {"missing executable", dir.path() + "/nope", ""},
      {"not executable", notExecutable, ""},
      {"missing working directory", "/bin/true", dir.path() + "/gone"},
      {"no executable", "", ""},
  };
  for (const Case& testCase : cases) {
    SCOPED_TRACE(testCase.name);
    ChildProcessOptions options;
    options.executable = testCase.executable;
    options.workingDirectory = testCase.workingDirectory;
    auto launched = ChildProcess::launch(options);
    EXPECT_EQ(launched.process, nullptr);
    EXPECT_NE(launched.error, "");
  }
}

TEST(ChildProcessTest, ExitedChildIsReapedAndNeverCountsAsRunning) {
  std::atomic<int> handlerCalls{0};
  std::atomic<int> handlerStatus{-1};
  auto child = launchShell("exit 3", {}, [&](int status) {
    handlerStatus = status;
    ++handlerCalls;
  });
  ASSERT_NE(child, nullptr);
  const pid_t pid = child->pid();
  ASSERT_TRUE(eventually([&] { return !child->isRunning(); }, 10));
  ASSERT_TRUE(child->waitStatus().has_value());
  EXPECT_TRUE(WIFEXITED(*child->waitStatus()));
  EXPECT_EQ(WEXITSTATUS(*child->waitStatus()), 3);
  EXPECT_FALSE(std::filesystem::exists("/proc/" + std::to_string(pid)));  // no zombie left
  EXPECT_FALSE(child->signal(SIGTERM));                                     // its pid is not ours anymore
  ASSERT_TRUE(eventually([&] { return handlerCalls.load() == 1; }, 10));
  EXPECT_EQ(WEXITSTATUS(handlerStatus.load()), 3);
  EXPECT_EQ(child->wait(), handlerStatus.load());
  EXPECT_EQ(handlerCalls.load(), 1);
}

// Only a launched child counts, and only until it is reaped: its pid may pass on then.
TEST(ChildProcessTest, ALaunchedChildIsKnownUntilItIsReaped) {
  auto child = launchShell("exec sleep 30", {});
  ASSERT_NE(child, nullptr);
  const pid_t pid = child->pid();
  EXPECT_TRUE(ChildProcess::isUnreapedChild(pid));
  EXPECT_FALSE(ChildProcess::isUnreapedChild(::getpid()));
  EXPECT_FALSE(ChildProcess::isUnreapedChild(::getppid()));
  ASSERT_TRUE(child->signal(SIGKILL));
  child->wait();
  EXPECT_FALSE(ChildProcess::isUnreapedChild(pid));
}

TEST(ChildProcessTest, ExitHandlerRunsAndZombieIsReapedAfterTheObjectIsGone) {
  std::atomic<int> handlerStatus{-1};
  pid_t pid;
  {
    ChildProcessOptions options;
    options.inheritStdin = false;
    auto child = launchShell("read line; exit 0", options, [&](int status) { handlerStatus = status; });
    ASSERT_NE(child, nullptr);
    pid = child->pid();
  }
  ASSERT_TRUE(eventually([&] { return handlerStatus.load() != -1; }, 10));
  EXPECT_TRUE(WIFEXITED(handlerStatus.load()));
  EXPECT_FALSE(std::filesystem::exists("/proc/" + std::to_string(pid)));
}

TEST(ChildProcessTest, SignalEndsTheChildEvenWhenTheLaunchingThreadBlocksIt) {
  // The child must start with an empty signal mask, not inherit the launcher's.
  sigset_t blockTerm, previous;
  sigemptyset(&blockTerm);
  sigaddset(&blockTerm, SIGTERM);
  pthread_sigmask(SIG_BLOCK, &blockTerm, &previous);
  auto child = launchShell("exec sleep 30");
  pthread_sigmask(SIG_SETMASK, &previous, nullptr);
  ASSERT_NE(child, nullptr);
  EXPECT_TRUE(child->isRunning());
  EXPECT_TRUE(child->signal(SIGTERM));
  int status = child->wait();
  EXPECT_TRUE(WIFSIGNALED(status));
  EXPECT_EQ(WTERMSIG(status), SIGTERM);
  EXPECT_FALSE(child->isRunning());
}

TEST(ChildProcessTest, NeverReapsChildrenItDidNotLaunch) {
  pid_t stranger = -1;
  char* argv[] = {const_cast<char*>("/bin/sh"), const_cast<char*>("-c"), const_cast<char*>("exit 7"), nullptr};
  ASSERT_EQ(::posix_spawn(&stranger, "/bin/sh", nullptr, nullptr, argv, environ), 0);
  // Let ours come and go (and the reaper do its work) while the stranger exits too.
  for (int i = 0; i < 3; ++i) {
    auto ours = launchShell("exit 0");
    ASSERT_NE(ours, nullptr);
    ours->wait();
  }
  int status = 0;
  ASSERT_EQ(::waitpid(stranger, &status, 0), stranger);
  EXPECT_EQ(WEXITSTATUS(status), 7);
}

}  // namespace
}  // namespace tovarin
