#pragma once
// The HDF5 library's objects as owned handles, and the few calls the
// sweep's HDF5 file is made of: files, groups, chunked and compressed
// datasets, dimension scales (the named dimensions netCDF readers and
// xarray see) and attributes. Every failure throws H5Error with the
// library's innermost reason ("No space left on device"); the library
// itself prints nothing.

#include <hdf5.h>

#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace ebsim {

class H5Error : public std::runtime_error {
 public:
  H5Error(const std::string& what, std::string reason)
      : std::runtime_error(what + ": " + reason), reason_(std::move(reason)) {}
  // The library's reason alone.
  const std::string& Reason() const { return reason_; }

 private:
  std::string reason_;
};

// One identifier of the library, closed with the call of its kind.
class H5Handle {
 public:
  using Close = herr_t (*)(hid_t);
  H5Handle() = default;
  // Throws H5Error naming `what` when `id` is negative (the call failed).
  H5Handle(hid_t id, Close close, const std::string& what);
  H5Handle(H5Handle&& other) noexcept;
  H5Handle& operator=(H5Handle&& other) noexcept;
  H5Handle(const H5Handle&) = delete;
  H5Handle& operator=(const H5Handle&) = delete;
  ~H5Handle() { Reset(); }
  hid_t Id() const { return id_; }
  explicit operator bool() const { return id_ >= 0; }
  // Closes it; throws H5Error when closing fails (a file's last writes).
  void CloseChecked(const std::string& what);

 private:
  void Reset();
  hid_t id_ = -1;
  Close close_ = nullptr;
};

// Throws H5Error "WHAT: REASON" when a call returned a negative status.
void H5Check(herr_t status, const std::string& what);

// A new file at `path`, replacing what is there, or an existing one read
// only. The library's own locking is left off: the program locks its
// temporaries itself.
H5Handle CreateH5File(const std::string& path);
H5Handle OpenH5File(const std::string& path);

H5Handle CreateGroup(hid_t parent, const std::string& name);
H5Handle OpenGroup(hid_t parent, const std::string& name);
H5Handle OpenDataset(hid_t parent, const std::string& name);
bool HasLink(hid_t parent, const std::string& name);

// Text types: UTF-8, of any length, or of at most `width` bytes padded
// with zeros.
H5Handle TextType();
H5Handle FixedTextType(std::size_t width);

struct DatasetShape {
  std::vector<hsize_t> dims;     // empty: a scalar
  std::vector<hsize_t> maxDims;  // empty: the dims
  std::vector<hsize_t> chunk;    // empty: contiguous, uncompressed
  int deflate = 0;               // zlib level with a chunk
  bool shuffle = false;
};
// A dataset of `type`; `fill` (of that type) is what unwritten elements
// read as.
H5Handle CreateDataset(hid_t parent, const std::string& name, hid_t type, const DatasetShape& shape,
                       const void* fill = nullptr);
// The chunk shape for `dims` of elements of `bytes`: whole trailing
// dimensions first, about `target` bytes a chunk.
std::vector<hsize_t> ChunkFor(const std::vector<hsize_t>& dims, std::size_t bytes, std::size_t target = 1 << 18);
std::vector<hsize_t> DatasetDims(hid_t dataset);

// The dataset becomes the dimension scale `name`; a variable's dimension
// `index` is attached to it.
void MakeDimensionScale(hid_t dataset, const std::string& name);
void AttachDimension(hid_t variable, hid_t scale, unsigned index);

// Attributes, replaced when they exist.
void SetAttribute(hid_t object, const std::string& name, const std::string& text);
void SetAttribute(hid_t object, const std::string& name, const std::vector<std::string>& texts);
void SetAttribute(hid_t object, const std::string& name, std::int64_t value);
void SetAttribute(hid_t object, const std::string& name, double value);
std::optional<std::string> TextAttribute(hid_t object, const std::string& name);
std::optional<std::int64_t> IntegerAttribute(hid_t object, const std::string& name);

}  // namespace ebsim
