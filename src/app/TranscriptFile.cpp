#include "app/TranscriptFile.h"

#include <cerrno>
#include <cstring>

#include "platform/ErrorBox.h"
#include "platform/TessalyError.h"

namespace tessaly {

TranscriptFile::TranscriptFile(std::filesystem::path file)
    : file_(std::move(file)), out_(file_, std::ios::binary | std::ios::trunc) {
  if (!out_)
    throw ETessalyError("Cannot write the transcript " + file_.string() + ": " + std::strerror(errno));
}

void TranscriptFile::Write(const std::string& text) {
  if (failed_) return;
  out_.write(text.data(), static_cast<std::streamsize>(text.size()));
  out_.flush();
  if (out_) return;
  failed_ = true;
  ShowErrorBox("Cannot write the transcript " + file_.string() + ": " + std::strerror(errno) +
               ". The exchanges from here on are not in it.");
}

}  // namespace tessaly
