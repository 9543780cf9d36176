#include "base/NetworkThread.h"

#include <pthread.h>

#include <boost/asio/executor_work_guard.hpp>
#include <boost/asio/io_context.hpp>
#include <mutex>
#include <thread>

namespace tovarin {

struct NetworkThread::State {
  boost::asio::io_context context{1};
  boost::asio::executor_work_guard<boost::asio::io_context::executor_type> guard{context.get_executor()};
  std::thread thread;
  std::mutex stopping;  // stop() may be called from more than one thread
};

NetworkThread& NetworkThread::shared() {
  // Never destroyed: sockets may still be closing while static destructors run.
  static NetworkThread* instance = new NetworkThread();
  return *instance;
}

NetworkThread::NetworkThread() : state_(new State) {
  state_->thread = std::thread([state = state_] { state->context.run(); });
  pthread_setname_np(state_->thread.native_handle(), "tovarin-net");
}

void NetworkThread::stop() {
  std::lock_guard lock(state_->stopping);
  state_->guard.reset();
  state_->context.stop();
  // run() returns after the handler it is in, if any; none starts after that.
  if (state_->thread.joinable()) state_->thread.join();
}

NetworkThread::~NetworkThread() = default;

boost::asio::io_context& NetworkThread::context() { return state_->context; }

}  // namespace tovarin
