#pragma once

// The box client over libcurl: HTTP GETs to the box's web interface and FTP sessions to its
// file system. Each request runs on a worker thread while the calling thread waits in a local
// event loop, so windows keep painting; every request has a connect timeout and a low-speed
// limit, so an unreachable box ends in a TransferError within seconds.

#include "app/box_client.h"

#include <functional>
#include <memory>

#include <QString>

inline constexpr int DEFAULT_BOX_FTP_PORT = 21;

// address is read at every request: "host" or "host:port" (the port is the web interface's).
std::unique_ptr<BoxClient> makeCurlBoxClient(std::function<QString()> address);
// As above; ftpPort is read at every connect (0 or less means 21).
std::unique_ptr<BoxClient> makeCurlBoxClient(std::function<QString()> address, std::function<int()> ftpPort);
