#include "batch/h5_file.h"

#include <hdf5_hl.h>

#include <algorithm>
#include <cstring>
#include <utility>

namespace ebsim {

namespace {

// The library's error stack prints itself unless told not to. A file
// whose closing failed (a full disk) stays open in the library, and its
// clean-up at exit would close it again and crash: it is left to the
// system.
void Quiet() {
  static const bool quiet = (H5dont_atexit(), H5Eset_auto2(H5E_DEFAULT, nullptr, nullptr), true);
  (void)quiet;
}

herr_t Innermost(unsigned depth, const H5E_error2_t* error, void* data) {
  if (depth == 0 && error->desc) *static_cast<std::string*>(data) = error->desc;
  return 0;
}

// The reason the innermost call gave, with the system's message where it
// names one ("..., errno = 28, error message = 'No space left on device'").
std::string Reason() {
  std::string desc;
  H5Ewalk2(H5E_DEFAULT, H5E_WALK_UPWARD, Innermost, &desc);
  H5Eclear2(H5E_DEFAULT);
  const std::string marker = "error message = '";
  if (const auto at = desc.find(marker); at != std::string::npos) {
    const auto from = at + marker.size();
    return desc.substr(from, desc.find('\'', from) - from);
  }
  return desc.empty() ? "the HDF5 library failed" : desc;
}

[[noreturn]] void Fail(const std::string& what) { throw H5Error(what, Reason()); }

}  // namespace

H5Handle::H5Handle(hid_t id, Close close, const std::string& what) : id_(id), close_(close) {
  if (id_ < 0) Fail(what);
}

H5Handle::H5Handle(H5Handle&& other) noexcept : id_(std::exchange(other.id_, -1)), close_(other.close_) {}

H5Handle& H5Handle::operator=(H5Handle&& other) noexcept {
  if (this != &other) {
    Reset();
    id_ = std::exchange(other.id_, -1);
    close_ = other.close_;
  }
  return *this;
}

void H5Handle::Reset() {
  if (id_ >= 0 && close_) close_(id_);
  id_ = -1;
}

void H5Handle::CloseChecked(const std::string& what) {
  const hid_t id = std::exchange(id_, -1);
  if (id >= 0 && close_ && close_(id) < 0) Fail(what);
}

void H5Check(herr_t status, const std::string& what) {
  if (status < 0) Fail(what);
}

namespace {

H5Handle FileAccess() {
  H5Handle access(H5Pcreate(H5P_FILE_ACCESS), H5Pclose, "file access");
  H5Check(H5Pset_file_locking(access.Id(), false, true), "file locking");
  // Closing the file closes whatever is still open in it.
  H5Check(H5Pset_fclose_degree(access.Id(), H5F_CLOSE_STRONG), "file close degree");
  return access;
}

}  // namespace

H5Handle CreateH5File(const std::string& path) {
  Quiet();
  const H5Handle access = FileAccess();
  // Creation order kept, so that readers list the variables as written.
  H5Handle creation(H5Pcreate(H5P_FILE_CREATE), H5Pclose, "file creation");
  H5Check(H5Pset_link_creation_order(creation.Id(), H5P_CRT_ORDER_TRACKED | H5P_CRT_ORDER_INDEXED), "creation order");
  H5Check(H5Pset_attr_creation_order(creation.Id(), H5P_CRT_ORDER_TRACKED | H5P_CRT_ORDER_INDEXED), "creation order");
  return H5Handle(H5Fcreate(path.c_str(), H5F_ACC_TRUNC, creation.Id(), access.Id()), H5Fclose, "cannot create");
}

H5Handle OpenH5File(const std::string& path) {
  Quiet();
  const H5Handle access = FileAccess();
  return H5Handle(H5Fopen(path.c_str(), H5F_ACC_RDONLY, access.Id()), H5Fclose, "cannot open");
}

H5Handle CreateGroup(hid_t parent, const std::string& name) {
  H5Handle creation(H5Pcreate(H5P_GROUP_CREATE), H5Pclose, "group creation");
  H5Check(H5Pset_link_creation_order(creation.Id(), H5P_CRT_ORDER_TRACKED | H5P_CRT_ORDER_INDEXED), "creation order");
  H5Check(H5Pset_attr_creation_order(creation.Id(), H5P_CRT_ORDER_TRACKED | H5P_CRT_ORDER_INDEXED), "creation order");
  return H5Handle(H5Gcreate2(parent, name.c_str(), H5P_DEFAULT, creation.Id(), H5P_DEFAULT), H5Gclose,
                  "cannot make group " + name);
}

H5Handle OpenGroup(hid_t parent, const std::string& name) {
  return H5Handle(H5Gopen2(parent, name.c_str(), H5P_DEFAULT), H5Gclose, "no group " + name);
}

H5Handle OpenDataset(hid_t parent, const std::string& name) {
  return H5Handle(H5Dopen2(parent, name.c_str(), H5P_DEFAULT), H5Dclose, "no dataset " + name);
}

bool HasLink(hid_t parent, const std::string& name) { return H5Lexists(parent, name.c_str(), H5P_DEFAULT) > 0; }

H5Handle TextType() {
  H5Handle type(H5Tcopy(H5T_C_S1), H5Tclose, "text type");
  H5Check(H5Tset_size(type.Id(), H5T_VARIABLE), "text type");
  H5Check(H5Tset_cset(type.Id(), H5T_CSET_UTF8), "text type");
  return type;
}

H5Handle FixedTextType(std::size_t width) {
  H5Handle type(H5Tcopy(H5T_C_S1), H5Tclose, "text type");
  H5Check(H5Tset_size(type.Id(), width), "text type");
  H5Check(H5Tset_strpad(type.Id(), H5T_STR_NULLPAD), "text type");
  H5Check(H5Tset_cset(type.Id(), H5T_CSET_UTF8), "text type");
  return type;
}

H5Handle CreateDataset(hid_t parent, const std::string& name, hid_t type, const DatasetShape& shape, const void* fill) {
  const int rank = static_cast<int>(shape.dims.size());
  H5Handle space(rank
                     ? H5Screate_simple(rank, shape.dims.data(), shape.maxDims.empty() ? nullptr : shape.maxDims.data())
                     : H5Screate(H5S_SCALAR),
                 H5Sclose, "dataspace of " + name);
  H5Handle creation(H5Pcreate(H5P_DATASET_CREATE), H5Pclose, "dataset creation");
  H5Check(H5Pset_attr_creation_order(creation.Id(), H5P_CRT_ORDER_TRACKED | H5P_CRT_ORDER_INDEXED), "creation order");
  if (!shape.chunk.empty()) {
    H5Check(H5Pset_chunk(creation.Id(), rank, shape.chunk.data()), "chunks of " + name);
    if (shape.shuffle) H5Check(H5Pset_shuffle(creation.Id()), "shuffle of " + name);
    if (shape.deflate > 0)
      H5Check(H5Pset_deflate(creation.Id(), static_cast<unsigned>(shape.deflate)), "deflate of " + name);
  }
  if (fill) H5Check(H5Pset_fill_value(creation.Id(), type, fill), "fill value of " + name);
  return H5Handle(H5Dcreate2(parent, name.c_str(), type, space.Id(), H5P_DEFAULT, creation.Id(), H5P_DEFAULT), H5Dclose,
                  "cannot make dataset " + name);
}

std::vector<hsize_t> ChunkFor(const std::vector<hsize_t>& dims, std::size_t bytes, std::size_t target) {
  std::vector<hsize_t> chunk(dims.size(), 1);
  hsize_t room = std::max<hsize_t>(1, target / std::max<std::size_t>(1, bytes));
  for (std::size_t k = dims.size(); k-- > 0;) {
    chunk[k] = std::max<hsize_t>(1, std::min(dims[k], room));
    room = std::max<hsize_t>(1, room / chunk[k]);
  }
  return chunk;
}

std::vector<hsize_t> DatasetDims(hid_t dataset) {
  const H5Handle space(H5Dget_space(dataset), H5Sclose, "dataspace");
  const int rank = H5Sget_simple_extent_ndims(space.Id());
  H5Check(rank, "dataspace rank");
  std::vector<hsize_t> dims(static_cast<std::size_t>(rank));
  H5Check(H5Sget_simple_extent_dims(space.Id(), dims.data(), nullptr), "dataspace dims");
  return dims;
}

void MakeDimensionScale(hid_t dataset, const std::string& name) {
  H5Check(H5DSset_scale(dataset, name.c_str()), "dimension " + name);
}

void AttachDimension(hid_t variable, hid_t scale, unsigned index) {
  H5Check(H5DSattach_scale(variable, scale, index), "attaching a dimension");
}

namespace {

void WriteAttribute(hid_t object, const std::string& name, hid_t type, hid_t space, const void* data) {
  if (H5Aexists(object, name.c_str()) > 0) H5Check(H5Adelete(object, name.c_str()), "attribute " + name);
  const H5Handle attribute(H5Acreate2(object, name.c_str(), type, space, H5P_DEFAULT, H5P_DEFAULT), H5Aclose,
                           "attribute " + name);
  H5Check(H5Awrite(attribute.Id(), type, data), "attribute " + name);
}

H5Handle ScalarSpace() { return H5Handle(H5Screate(H5S_SCALAR), H5Sclose, "scalar dataspace"); }

}  // namespace

void SetAttribute(hid_t object, const std::string& name, const std::string& text) {
  const char* data = text.c_str();
  WriteAttribute(object, name, TextType().Id(), ScalarSpace().Id(), &data);
}

void SetAttribute(hid_t object, const std::string& name, const std::vector<std::string>& texts) {
  std::vector<const char*> data;
  for (const std::string& text : texts) data.push_back(text.c_str());
  const hsize_t count = data.size();
  const H5Handle space(H5Screate_simple(1, &count, nullptr), H5Sclose, "attribute " + name);
  WriteAttribute(object, name, TextType().Id(), space.Id(), data.data());
}

void SetAttribute(hid_t object, const std::string& name, std::int64_t value) {
  WriteAttribute(object, name, H5T_NATIVE_INT64, ScalarSpace().Id(), &value);
}

void SetAttribute(hid_t object, const std::string& name, double value) {
  WriteAttribute(object, name, H5T_NATIVE_DOUBLE, ScalarSpace().Id(), &value);
}

std::optional<std::string> TextAttribute(hid_t object, const std::string& name) {
  if (H5Aexists(object, name.c_str()) <= 0) return std::nullopt;
  const H5Handle attribute(H5Aopen(object, name.c_str(), H5P_DEFAULT), H5Aclose, "attribute " + name);
  const H5Handle stored(H5Aget_type(attribute.Id()), H5Tclose, "attribute " + name);
  const H5Handle space(H5Aget_space(attribute.Id()), H5Sclose, "attribute " + name);
  if (H5Tget_class(stored.Id()) != H5T_STRING || H5Tis_variable_str(stored.Id()) <= 0 ||
      H5Sget_simple_extent_npoints(space.Id()) != 1)
    return std::nullopt;
  const H5Handle type = TextType();
  char* data = nullptr;
  H5Check(H5Aread(attribute.Id(), type.Id(), &data), "attribute " + name);
  std::string text = data ? data : "";
  H5free_memory(data);
  return text;
}

std::optional<std::int64_t> IntegerAttribute(hid_t object, const std::string& name) {
  if (H5Aexists(object, name.c_str()) <= 0) return std::nullopt;
  const H5Handle attribute(H5Aopen(object, name.c_str(), H5P_DEFAULT), H5Aclose, "attribute " + name);
  const H5Handle stored(H5Aget_type(attribute.Id()), H5Tclose, "attribute " + name);
  const H5Handle space(H5Aget_space(attribute.Id()), H5Sclose, "attribute " + name);
  if (H5Tget_class(stored.Id()) != H5T_INTEGER || H5Sget_simple_extent_npoints(space.Id()) != 1) return std::nullopt;
  std::int64_t value = 0;
  H5Check(H5Aread(attribute.Id(), H5T_NATIVE_INT64, &value), "attribute " + name);
  return value;
}

}  // namespace ebsim
