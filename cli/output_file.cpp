#include "cli/output_file.h"

#include <cstdio>
#include <stdexcept>

OutputFile::OutputFile(std::string path) : path_(std::move(path)), partial_(path_ + ".partial") {
  stream_.open(partial_, std::ios::out | std::ios::trunc);
  if (!stream_) throw std::runtime_error("cannot write '" + partial_ + "'");
}

OutputFile::~OutputFile() {
  if (!committed_) {
    stream_.close();
    std::remove(partial_.c_str());
  }
}

void OutputFile::Commit() {
  stream_.flush();
  const bool written = static_cast<bool>(stream_);
  stream_.close();
  if (!written || std::rename(partial_.c_str(), path_.c_str()) != 0)
    throw std::runtime_error("cannot write '" + path_ + "'");
  committed_ = true;
}
