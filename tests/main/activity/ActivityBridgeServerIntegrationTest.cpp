#include "main/activity/ActivityBridgeServer.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <future>
#include <sstream>

#include "base/ChildProcess.h"
#include "base/Json.h"
#include "base/LowerHex.h"
#include "main/activity/ActivityBridgeProtocol.h"
#include "main/activity/ActivityPeer.h"
#include "tests/support/Eventually.h"
#include "tests/support/FileContents.h"
#include "tests/support/Gate.h"
#include "tests/support/TempDir.h"

extern char** environ;

namespace tovarin {
namespace {
namespace fs = std::filesystem;

const std::string kClient = std::string(TOVARIN_SOURCE_DIR) + "/tests/support/activity-bridge-client.mjs";
const std::string kNode = "/usr/bin/node";
const std::string kOwner = "0123456789abcdef0123456789abcdef0123456789abcdef0123456789abcdef";

// Checked often: a test stops the server the moment its read begins, before it can time out.
bool waitUntil(const std::function<bool()>& condition) {
  return eventually(condition, 10, std::chrono::milliseconds(5));
}

std::optional<Json> replyOf(const std::string& text) {
  if (text.empty() || text.back() != '\n' || text.find('\n') != text.size() - 1) return std::nullopt;
  return parseJson(std::string_view(text).substr(0, text.size() - 1));
}

std::string errorOf(const std::string& text) {
  auto reply = replyOf(text);
  if (!reply) return "no reply line: " + text;
  return jsonString(*reply, "error").value_or("no error: " + text);
}

size_t entriesIn(const std::string& directory) {
  return static_cast<size_t>(std::distance(fs::directory_iterator(directory), fs::directory_iterator()));
}

// A connected socket, or minus the errno of the failed connect.
int connectTo(const std::string& path) {
  const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  std::strncpy(address.sun_path, path.c_str(), sizeof(address.sun_path) - 1);
  if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof(address)) != 0) {
    const int error = errno;
    ::close(fd);
    return -error;
  }
  return fd;
}

// A client in this process: the peer check sees this process, so only servers whose
// allowPeer admits anyone answer it.
std::string exchangeInProcess(const std::string& path, const std::string& request) {
  const int fd = connectTo(path);
  if (fd < 0) return "connect " + std::to_string(-fd);
  // A refused peer may be answered before its request is written: send errors are expected.
  (void)!::send(fd, request.data(), request.size(), MSG_NOSIGNAL);
  ::shutdown(fd, SHUT_WR);
  std::string reply;
  char chunk[4096];
  for (ssize_t got; (got = ::recv(fd, chunk, sizeof chunk, 0)) > 0;) reply.append(chunk, static_cast<size_t>(got));
  ::close(fd);
  return reply;
}

class ActivityBridgeServerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    token_ = ActivityBridgeProtocol::makeToken();
    path_ = dir_.path() + "/bridge.sock";
  }
  void TearDown() override {
    for (auto& child : children_) {
      if (child->isRunning()) child->signal(SIGKILL);
    }
  }

  std::unique_ptr<ActivityBridgeServer> makeServer(ActivityBridgeServer::AllowPeer allowPeer =
                                                       ActivityPeer::isChildOfCurrentProcess,
                                                   std::string path = "") {
    return std::make_unique<ActivityBridgeServer>(
        path.empty() ? path_ : path, token_, std::move(allowPeer), [this](const ActivityBridgeRequest& request) {
          std::lock_guard lock(mutex_);
          handled_.push_back(request);
          if (request.asOwnerReport()) return ActivityBridgeReply::acknowledged();
          return ActivityBridgeReply::items({{{"act_1", "2026-03-01T09:00", "2026-03-01T09:30", "Firefox", "Mail",
                                               std::nullopt, 30}},
                                             false});
        });
  }

  std::string ownerLine(const std::string& token) const {
    return Json{{"v", 1}, {"token", token}, {"op", "owner"}, {"owner", kOwner}}.dump() + "\n";
  }

  std::shared_ptr<ChildProcess> launch(const std::string& executable, std::vector<std::string> arguments) {
    ChildProcessOptions options;
    options.executable = executable;
    options.arguments = std::move(arguments);
    options.environment = {"PATH=/usr/bin:/bin"};
    options.captureStdout = true;
    auto launched = ChildProcess::launch(options);
    EXPECT_NE(launched.process, nullptr) << launched.error;
    if (launched.process) children_.push_back(launched.process);
    return launched.process;
  }

  // A direct child runs the client and hands back what the server answered.
  std::string exchangeFromChild(const std::string& mode, const std::string& text) {
    const auto* bytes = reinterpret_cast<const unsigned char*>(text.data());
    auto child = launch(kNode, {kClient, path_, mode, "hex:" + lowerHex({bytes, text.size()})});
    if (!child) return "";
    std::string output = child->readAllOutput();
    child->wait();
    return output;
  }

  size_t handledCount() {
    std::lock_guard lock(mutex_);
    return handled_.size();
  }

  TempDir dir_;
  std::string token_;
  std::string path_;
  std::mutex mutex_;
  std::vector<ActivityBridgeRequest> handled_;  // mutex_
  std::vector<std::shared_ptr<ChildProcess>> children_;
};

TEST_F(ActivityBridgeServerTest, AChildOfThisProcessIsServedOneRequestPerConnection) {
  auto server = makeServer();
  ASSERT_EQ(server->start(), std::nullopt);

  auto owner = replyOf(exchangeFromChild("send", ownerLine(token_)));
  ASSERT_TRUE(owner);
  EXPECT_EQ(*owner, Json::parse(R"({"result":{"ok":true},"v":1})"));

  Json query{{"v", 1}, {"token", token_}, {"op", "query"}, {"owner", kOwner},
             {"args", {{"from", "2026-03-01"}, {"to", "2026-03-01"}, {"app", ""}}}};
  auto items = replyOf(exchangeFromChild("send", query.dump() + "\n"));
  ASSERT_TRUE(items);
  EXPECT_EQ((*items)["result"]["items"][0]["title"], "Mail");

  std::lock_guard lock(mutex_);
  ASSERT_EQ(handled_.size(), 2u);
  EXPECT_EQ(handled_[0], ActivityBridgeRequest::ownerReport(kOwner));
  EXPECT_EQ(handled_[1], ActivityBridgeRequest::query(kOwner, {"2026-03-01", "2026-03-01", std::nullopt, std::nullopt}));
}

TEST_F(ActivityBridgeServerTest, AGrandchildAndAProcessThatIsNoChildAreRejectedBeforeTheHandler) {
  auto server = makeServer();
  ASSERT_EQ(server->start(), std::nullopt);
  // The clients write nothing: the server answers a refused peer without reading, and
  // a write that meets its closed side would end the node client before it reads.

  // The shell stays alive after node, so node is its child and our grandchild.
  auto grandchild = launch("/bin/sh", {"-c", "\"$0\" \"$@\"; exit $?", kNode, kClient, path_, "silent"});
  ASSERT_NE(grandchild, nullptr);
  EXPECT_EQ(errorOf(grandchild->readAllOutput()), "peer_rejected");
  grandchild->wait();

  // Left behind by a shell that has already ended: a process of ours, but nobody's child here.
  const std::string out = dir_.path() + "/orphan-reply";
  auto parent = launch("/bin/sh", {"-c", "\"$0\" \"$@\" </dev/null >/dev/null 2>&1 &", kNode, kClient, path_,
                                   "silent", "", out});
  ASSERT_NE(parent, nullptr);
  parent->wait();
  ASSERT_TRUE(waitUntil([&] { return fs::exists(out); }));
  EXPECT_EQ(errorOf(readFile(out)), "peer_rejected");

  // This process itself, with a valid request.
  EXPECT_EQ(errorOf(exchangeInProcess(path_, ownerLine(token_))), "peer_rejected");
  EXPECT_EQ(handledCount(), 0u);
}

// The peer is judged before anything is read, so a refused client waits for no read
// time-out. Its request is still unread when the server closes, which the system
// reports to the client as a reset after the reply; a request that was read ends in a
// plain end of stream.
TEST_F(ActivityBridgeServerTest, ARefusedPeersRequestIsNeverRead) {
  Gate requestWritten;
  auto server = makeServer([&](pid_t) {
    requestWritten.wait();
    return false;
  });
  ASSERT_EQ(server->start(), std::nullopt);
  const int fd = connectTo(path_);
  ASSERT_GE(fd, 0) << "connect " << -fd;
  // Only to end a hung test.
  const timeval deadline{30, 0};
  ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &deadline, sizeof(deadline));
  const std::string request = ownerLine(token_);
  ASSERT_EQ(::send(fd, request.data(), request.size(), MSG_NOSIGNAL), static_cast<ssize_t>(request.size()));
  requestWritten.open();

  std::string reply;
  char chunk[4096];
  ssize_t got;
  while ((got = ::recv(fd, chunk, sizeof chunk, 0)) > 0) reply.append(chunk, static_cast<size_t>(got));
  const int ending = got < 0 ? errno : 0;
  ::close(fd);
  EXPECT_EQ(errorOf(reply), "peer_rejected");
  EXPECT_EQ(ending, ECONNRESET) << std::strerror(ending);
  EXPECT_EQ(handledCount(), 0u);
}

TEST_F(ActivityBridgeServerTest, FramingOfOneRequestLine) {
  auto server = makeServer();
  ASSERT_EQ(server->start(), std::nullopt);
  std::string unterminated = ownerLine(token_);
  unterminated.pop_back();
  std::string padded = unterminated.substr(0, unterminated.size() - 1) + ",\"pad\":\"";
  auto paddedTo = [&](size_t size) {
    std::string text = padded;
    text.append(size - text.size() - 2, 'x');
    return text + "\"}";
  };

  struct Case {
    std::string name;
    std::string mode;
    std::string text;
    std::string expectedError;  // empty: acknowledged
    size_t handled;
  };
  const std::vector<Case> cases = {
      {"a line", "send", unterminated + "\n", "", 1},
      {"no newline, then a half-close", "halfclose", unterminated, "", 1},
      {"two lines: only the first counts", "send", unterminated + "\n" + R"({"v":1})" + "\n", "", 1},
      {"a bad second line is never read", "send", unterminated + "\n" + "garbage\n", "", 1},
      {"a line of exactly the limit", "send", paddedTo(16384) + "\n", "", 1},
      {"a line one byte over the limit", "send", paddedTo(16385) + "\n", "too_large", 0},
      {"20000 bytes and no newline", "send", std::string(20000, 'x'), "too_large", 0},
      {"a half-close before anything", "halfclose", "", "bad_json", 0},
  };
  for (const Case& c : cases) {
    const size_t before = handledCount();
    const std::string reply = exchangeFromChild(c.mode, c.text);
    if (c.expectedError.empty()) {
      auto parsed = replyOf(reply);
      ASSERT_TRUE(parsed) << c.name << ": " << reply;
      EXPECT_EQ((*parsed)["result"], Json::parse(R"({"ok":true})")) << c.name;
    } else {
      EXPECT_EQ(errorOf(reply), c.expectedError) << c.name;
    }
    EXPECT_EQ(handledCount() - before, c.handled) << c.name;
  }
}

TEST_F(ActivityBridgeServerTest, ASilentClientIsAnsweredAfterTheReadTimeout) {
  auto server = makeServer();
  ASSERT_EQ(server->start(), std::nullopt);
  const auto started = std::chrono::steady_clock::now();
  EXPECT_EQ(errorOf(exchangeFromChild("silent", "")), "bad_json");
  const double waited = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
  EXPECT_GE(waited, 1.9);
  EXPECT_EQ(handledCount(), 0u);
}

TEST_F(ActivityBridgeServerTest, HostileChildrenGetErrorsAndNeverReachTheHandler) {
  auto server = makeServer();
  ASSERT_EQ(server->start(), std::nullopt);
  std::string wrongToken = token_;
  wrongToken.back() = wrongToken.back() == '0' ? '1' : '0';
  struct Case {
    std::string text;
    std::string error;
  };
  const std::vector<Case> cases = {
      {ownerLine(wrongToken), "bad_token"},
      {ownerLine(token_.substr(0, 63)), "bad_token"},
      {R"({"v":true,"token":")" + token_ + R"(","op":"owner","owner":null})" + "\n", "bad_version"},
      {R"({"v":1,"token":")" + token_ + R"(","op":"query","owner":null,"args":{"from":"2026-03-01","to":"2026-03-01"}})" "\n",
       "bad_args"},
      {std::string("\x00\x01\xff\n", 4), "bad_json"},
      // A whole request before a NUL is no request: nothing may follow the value.
      {ownerLine(token_).substr(0, ownerLine(token_).size() - 1) + std::string("\x00 {{{ garbage\n", 14), "bad_json"},
      {ownerLine(token_).substr(0, ownerLine(token_).size() - 1) + " {}\n", "bad_json"},
      {std::string(30000, '['), "too_large"},
  };
  for (const Case& c : cases) EXPECT_EQ(errorOf(exchangeFromChild("send", c.text)), c.error) << c.text.substr(0, 80);
  EXPECT_EQ(handledCount(), 0u);
  // It still answers a good request afterwards.
  EXPECT_TRUE(replyOf(exchangeFromChild("send", ownerLine(token_))));
}

TEST_F(ActivityBridgeServerTest, AClientThatHangsUpBeforeTheReplyLeavesTheProgramAndTheServerUp) {
  std::promise<void> clientGone;
  auto gone = clientGone.get_future().share();
  std::atomic<bool> waitForHangUp{true};
  ActivityBridgeServer server(path_, token_, [](pid_t) { return true; }, [&](const ActivityBridgeRequest&) {
    if (waitForHangUp.exchange(false)) gone.wait();
    // A reply larger than the socket buffer, so the write meets the closed peer.
    ActivityQueryResult result;
    for (int index = 0; index < 2000; ++index) {
      result.items.push_back({"act_" + std::to_string(index), "2026-03-01T09:00", "2026-03-01T09:30", "Firefox",
                              std::string(200, 't'), std::nullopt, 30});
    }
    return ActivityBridgeReply::items(result);
  });
  ASSERT_EQ(server.start(), std::nullopt);
  // SIGPIPE keeps its default action here: a write without MSG_NOSIGNAL would end the test program.
  struct sigaction current {};
  sigaction(SIGPIPE, nullptr, &current);
  ASSERT_EQ(current.sa_handler, SIG_DFL);

  const int fd = connectTo(path_);
  ASSERT_GE(fd, 0);
  const std::string request = ownerLine(token_);
  ASSERT_EQ(::send(fd, request.data(), request.size(), MSG_NOSIGNAL), static_cast<ssize_t>(request.size()));
  // Reset rather than a plain close: unread data makes the kernel drop the connection.
  ::close(fd);
  clientGone.set_value();

  EXPECT_TRUE(replyOf(exchangeInProcess(path_, ownerLine(token_))));
}

TEST_F(ActivityBridgeServerTest, AThousandConnectionsInARowLeaveNoDescriptorsOrThreadsBehind) {
  auto server = makeServer([](pid_t) { return true; });
  ASSERT_EQ(server->start(), std::nullopt);
  ASSERT_TRUE(replyOf(exchangeInProcess(path_, ownerLine(token_))));
  const size_t descriptors = entriesIn("/proc/self/fd");
  const size_t threads = entriesIn("/proc/self/task");
  const std::vector<std::string> requests = {ownerLine(token_), ownerLine("wrong"), "not json\n", ""};
  for (int index = 0; index < 1000; ++index) {
    const std::string reply = exchangeInProcess(path_, requests[index % requests.size()]);
    ASSERT_EQ(reply.back(), '\n') << index;
  }
  EXPECT_EQ(entriesIn("/proc/self/fd"), descriptors);
  EXPECT_EQ(entriesIn("/proc/self/task"), threads);
}

TEST_F(ActivityBridgeServerTest, StartingTwiceListensOnceWithAFreshPrivateFileAndStopRemovesIt) {
  auto server = makeServer([](pid_t) { return true; });
  EXPECT_FALSE(server->isListening());
  ASSERT_EQ(server->start(), std::nullopt);
  const size_t descriptors = entriesIn("/proc/self/fd");
  ASSERT_EQ(server->start(), std::nullopt);
  EXPECT_TRUE(server->isListening());
  EXPECT_EQ(entriesIn("/proc/self/fd"), descriptors);
  struct stat status {};
  ASSERT_EQ(::stat(path_.c_str(), &status), 0);
  EXPECT_TRUE(S_ISSOCK(status.st_mode));
  EXPECT_EQ(status.st_mode & 0777, 0600u);
  EXPECT_TRUE(replyOf(exchangeInProcess(path_, ownerLine(token_))));

  server->stop();
  EXPECT_FALSE(server->isListening());
  EXPECT_FALSE(fs::exists(path_));
  EXPECT_EQ(exchangeInProcess(path_, ownerLine(token_)), "connect " + std::to_string(ENOENT));
  server->stop();  // a second stop does nothing
}

TEST_F(ActivityBridgeServerTest, StopCutsASilentConnectionShort) {
  std::atomic<bool> reading{false};
  auto server = makeServer([&](pid_t) {
    reading = true;  // the request is read right after this
    return true;
  });
  ASSERT_EQ(server->start(), std::nullopt);
  const int fd = connectTo(path_);
  ASSERT_GE(fd, 0);
  ASSERT_TRUE(waitUntil([&] { return reading.load(); }));
  server->stop();
  // Had the stop waited out the read, the client would have been answered "bad_json"
  // before the close; cut short, it reads the end of the stream and nothing else.
  const timeval hungTest{30, 0};  // only ends a hung test
  ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &hungTest, sizeof hungTest);
  std::string received;
  char chunk[256];
  for (ssize_t n; (n = ::read(fd, chunk, sizeof chunk)) > 0;) received.append(chunk, static_cast<size_t>(n));
  EXPECT_EQ(received, "");
  ::close(fd);
}

TEST_F(ActivityBridgeServerTest, AHandlerMayStopItsOwnServer) {
  std::unique_ptr<ActivityBridgeServer> server;
  server = std::make_unique<ActivityBridgeServer>(path_, token_, [](pid_t) { return true; },
                                                  [&](const ActivityBridgeRequest&) {
                                                    server->stop();
                                                    return ActivityBridgeReply::acknowledged();
                                                  });
  ASSERT_EQ(server->start(), std::nullopt);
  EXPECT_TRUE(replyOf(exchangeInProcess(path_, ownerLine(token_))));  // the reply still goes out
  EXPECT_FALSE(server->isListening());
  EXPECT_FALSE(fs::exists(path_));
  ASSERT_EQ(server->start(), std::nullopt);  // and it can listen again
  EXPECT_TRUE(server->isListening());
  server.reset();
}

TEST_F(ActivityBridgeServerTest, PathsUpTo103BytesAreAcceptedAndLongerOnesRefused) {
  const std::string prefix = dir_.path() + "/";
  ASSERT_LT(prefix.size(), 90u);
  const std::string longest = prefix + std::string(103 - prefix.size(), 'p');
  const std::string tooLong = prefix + std::string(104 - prefix.size(), 'q');
  ASSERT_EQ(longest.size(), 103u);

  auto accepted = makeServer([](pid_t) { return true; }, longest);
  EXPECT_EQ(accepted->start(), std::nullopt);
  EXPECT_TRUE(replyOf(exchangeInProcess(longest, ownerLine(token_))));

  auto refused = makeServer([](pid_t) { return true; }, tooLong);
  EXPECT_EQ(refused->start(), (ActivityBridgeStartError{ActivityBridgeStartError::Kind::pathTooLong, 0}));
  EXPECT_FALSE(refused->isListening());
  EXPECT_FALSE(fs::exists(tooLong));
}

TEST_F(ActivityBridgeServerTest, AFailedBindLeavesTheServerStoppedWithNothingOpen) {
  const size_t descriptors = entriesIn("/proc/self/fd");
  auto server = makeServer([](pid_t) { return true; }, dir_.path() + "/missing/bridge.sock");
  EXPECT_EQ(server->start(), (ActivityBridgeStartError{ActivityBridgeStartError::Kind::bind, ENOENT}));
  EXPECT_FALSE(server->isListening());
  EXPECT_EQ(entriesIn("/proc/self/fd"), descriptors);
}

TEST_F(ActivityBridgeServerTest, NoChildInheritsTheListeningSocket) {
  auto server = makeServer();
  ASSERT_EQ(server->start(), std::nullopt);
  // Spawned without the launcher, which closes everything itself: only close-on-exec protects here.
  std::string inode;
  {
    std::ifstream net("/proc/net/unix");
    for (std::string row; std::getline(net, row);) {
      if (row.size() > path_.size() && row.compare(row.size() - path_.size(), path_.size(), path_) == 0) {
        std::istringstream fields(row);
        std::string field;
        for (int index = 0; index < 7 && fields >> field; ++index) {}
        inode = field;
      }
    }
  }
  ASSERT_FALSE(inode.empty());
  const std::string out = dir_.path() + "/fds";
  const std::string script = "for f in /proc/self/fd/*; do readlink \"$f\"; done > " + out;
  const char* argv[] = {"/bin/sh", "-c", script.c_str(), nullptr};
  pid_t pid = 0;
  ASSERT_EQ(::posix_spawn(&pid, "/bin/sh", nullptr, nullptr, const_cast<char**>(argv), environ), 0);
  int status = 0;
  ::waitpid(pid, &status, 0);
  std::ifstream fds(out);
  std::string listing((std::istreambuf_iterator<char>(fds)), std::istreambuf_iterator<char>());
  ASSERT_FALSE(listing.empty());  // the child did list its descriptors
  EXPECT_EQ(listing.find("socket:[" + inode + "]"), std::string::npos) << listing;
}

}  // namespace
}  // namespace tovarin
