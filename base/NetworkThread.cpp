#include "base/NetworkThread.h"

#include <pthread.h>

#include <boost/asio/executor_work_guard.hpp>
#include <boost/asio/io_context.hpp>
#include <thread>

namespace tovarin {

struct NetworkThread::State {
  boost::asio::io_context context{1};
  boost::asio::executor_work_guard<boost::asio::io_context::executor_type> guard{context.get_executor()};
  std::thread thread;
};

NetworkThread& NetworkThread::shared() {
  // Never destroyed: sockets may still be closing while static destructors run.
  static NetworkThread* instance = new NetworkThread();
  return *instance;
}

NetworkThread::NetworkThread() : state_(new State) {
  state_->thread = std::thread([state = state_] { state->context.run(); });
  pthread_setname_np(state_->thread.native_handle(), "tovarin-net");
  state_->thread.detach();
}

NetworkThread::~NetworkThread() = default;

boost::asio::io_context& NetworkThread::context() { return state_->context; }

}  // namespace tovarin
