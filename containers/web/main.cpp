// brvparts-serve: the web page container. `brvparts serve` hands over to it, so
// that the terminal program stays free of the HTTP server and its libraries.
#include <cstdlib>
#include <iostream>
#include <stdexcept>
#include <string>

#include <CLI/CLI.hpp>

#include "containers/common/GuardedMain.h"
#include "containers/common/SourceChoice.h"
#include "containers/web/Site.h"
#include "containers/web/WebServer.h"
#include "instrumentation/snapshot/Snapshot.h"

namespace {

int Run(int argc, char** argv) {
  CLI::App app{"Shows the hardware parts of this machine on a web page (run as: brvparts serve)."};
  app.set_version_flag("--version", "brvparts-serve " BRV_VERSION);
  std::string snapshot, sysroot;
  if (const char* env = std::getenv("BRVPARTS_SYSROOT")) sysroot = env;
  brv::web::ServeOptions web;
  app.add_option("--snapshot", snapshot, "Show a saved inventory (made by brvparts capture) instead of this machine")
      ->type_name("FILE");
  app.add_option("--sysroot", sysroot, "Show another machine's files, copied below DIR, instead of this machine's")
      ->type_name("DIR");
  app.add_option("--port", web.port, "Port to listen on (0 picks a free one)")
      ->check(CLI::Range(0, 65535))
      ->capture_default_str();
  app.add_option("--bind", web.bind,
                 "Address to listen on; other machines reach the page only at an address other than 127.0.0.1")
      ->capture_default_str();
  app.add_option("--baseline", web.baseline,
                 "Mark on the page what changed since a saved inventory (made by brvparts capture)")
      ->type_name("FILE");
  app.add_option("--allow-host", web.allowHosts,
                 "Also answer requests made to NAME, a host name or address the machine is known by (repeat for more)")
      ->type_name("NAME");
  try {
    app.parse(argc, argv);
    if (!snapshot.empty() && !sysroot.empty())
      throw CLI::ValidationError("--snapshot and --sysroot exclude each other");
    try {
      brv::web::HostPolicy(web.bind, web.allowHosts, {});
    } catch (const std::invalid_argument& e) {
      throw CLI::ValidationError(std::string("--allow-host: ") + e.what());
    }
  } catch (const CLI::ParseError& e) {
    if (e.get_exit_code() == 0) return app.exit(e);
    std::cerr << "brvparts: " << e.what() << "; see brvparts serve --help\n";
    return 2;
  }
  if (!brv::ChooseClassSource(snapshot, sysroot, std::cerr)) return 2;
  if (!web.baseline.empty()) {
    // Read here too, so that a file that is not a snapshot is refused before
    // anything listens.
    try {
      brv::ReadSnapshotFile(web.baseline);
    } catch (const brv::SnapshotError& e) {
      std::cerr << "brvparts: " << e.what() << "\n";
      return 2;
    }
  }
  return brv::web::Serve(web, std::cout, std::cerr);
}

}  // namespace

int main(int argc, char** argv) {
  return brv::GuardedMain([&] { return Run(argc, argv); });
}
