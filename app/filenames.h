#pragma once

#include <QString>

#include <string>

// The one place where a file name of the windows (QString) becomes the file
// name the audio components take (bytes in the file system's encoding), so
// that Chinese folder and file names work everywhere.
std::string ComponentFileName(const QString& path);
