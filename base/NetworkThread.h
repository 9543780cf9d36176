#pragma once

namespace boost::asio {
class io_context;
}

namespace tovarin {

// The one thread that runs network I/O for the whole process. Clients start their
// operations on it and hand completions to their own SerialQueue, never running
// caller code here. Created on first use; lives until exit.
class NetworkThread final {
 public:
  static NetworkThread& shared();
  boost::asio::io_context& context();

  // Ends all network work for good: no handler runs once this returns, so nothing is
  // handed to a queue its owner is about to destroy. Requests in flight and later ones
  // never complete. For the program's exit; not from the network thread itself.
  void stop();

 private:
  NetworkThread();
  ~NetworkThread();
  struct State;
  State* state_;
};

}  // namespace tovarin
