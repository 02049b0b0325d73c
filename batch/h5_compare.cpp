#include "batch/h5_compare.h"

#include <cstring>
#include <set>
#include <vector>

#include "batch/h5_file.h"

namespace ebsim {

namespace {

// Every dataset under the root by its path; groups are walked into. Called
// by the library: it returns a failure rather than throwing.
herr_t Collect(hid_t root, const char* name, const H5L_info_t*, void* found) {
  const hid_t object = H5Oopen(root, name, H5P_DEFAULT);
  if (object < 0) return -1;
  const bool dataset = H5Iget_type(object) == H5I_DATASET;
  H5Oclose(object);
  try {
    if (dataset) static_cast<std::vector<std::string>*>(found)->push_back(name);
  } catch (...) {
    return -1;
  }
  return 0;
}

std::vector<std::string> Datasets(hid_t file) {
  std::vector<std::string> found;
  H5Check(H5Lvisit(file, H5_INDEX_NAME, H5_ITER_INC, Collect, &found), "the file's datasets");
  return found;
}

// A dataset's values: texts of any length as texts, anything else as the
// bytes of its native type.
struct Values {
  std::vector<hsize_t> dims;
  std::vector<std::string> texts;
  std::vector<unsigned char> bytes;
  std::size_t size = 0;  // of one element
};

Values Read(hid_t file, const std::string& name) {
  const H5Handle dataset = OpenDataset(file, name);
  Values values;
  values.dims = DatasetDims(dataset.Id());
  hsize_t count = 1;
  for (const hsize_t length : values.dims) count *= length;
  const H5Handle type(H5Dget_type(dataset.Id()), H5Tclose, name);
  if (H5Tis_variable_str(type.Id()) > 0) {
    const H5Handle memory = TextType();
    std::vector<char*> texts(count, nullptr);
    H5Check(H5Dread(dataset.Id(), memory.Id(), H5S_ALL, H5S_ALL, H5P_DEFAULT, texts.data()), name);
    for (char* text : texts) values.texts.emplace_back(text ? text : "");
    const H5Handle space(H5Dget_space(dataset.Id()), H5Sclose, name);
    H5Dvlen_reclaim(memory.Id(), space.Id(), H5P_DEFAULT, texts.data());
    return values;
  }
  const H5Handle memory(H5Tget_native_type(type.Id(), H5T_DIR_ASCEND), H5Tclose, name);
  values.size = H5Tget_size(memory.Id());
  values.bytes.assign(count * values.size, 0);
  H5Check(H5Dread(dataset.Id(), memory.Id(), H5S_ALL, H5S_ALL, H5P_DEFAULT, values.bytes.data()), name);
  return values;
}

// The first element in which they differ; none when they are equal.
std::optional<std::size_t> FirstDifference(const Values& a, const Values& b) {
  if (!a.texts.empty() || !b.texts.empty()) {
    for (std::size_t k = 0; k < a.texts.size(); ++k)
      if (a.texts[k] != b.texts[k]) return k;
    return std::nullopt;
  }
  for (std::size_t k = 0; a.size && k < a.bytes.size() / a.size; ++k)
    if (std::memcmp(&a.bytes[k * a.size], &b.bytes[k * a.size], a.size) != 0) return k;
  return std::nullopt;
}

std::optional<std::string> Difference(hid_t original, hid_t copy, std::vector<std::string>& added) {
  const std::vector<std::string> ours = Datasets(original), theirs = Datasets(copy);
  const std::set<std::string> inOurs(ours.begin(), ours.end()), inCopy(theirs.begin(), theirs.end());
  for (const std::string& name : theirs)
    if (!inOurs.count(name)) added.push_back(name);
  for (const std::string& name : ours)
    if (!inCopy.count(name)) return "the rerun has no dataset '" + name + "'";
  for (const std::string& name : ours) {
    const Values a = Read(original, name), b = Read(copy, name);
    if (a.dims != b.dims || a.size != b.size || a.texts.size() != b.texts.size())
      return "the dataset '" + name + "' has another shape or type in the rerun";
    if (const auto k = FirstDifference(a, b))
      return "the dataset '" + name + "' differs at element " + std::to_string(*k);
  }
  return std::nullopt;
}

}  // namespace

H5FileHead ReadH5FileHead(const std::string& path) {
  try {
    const H5Handle file = OpenH5File(path);
    const std::optional<std::string> metadata = TextAttribute(file.Id(), "metadata");
    if (!metadata) throw std::runtime_error("is an HDF5 file without ebsim's metadata attribute");
    return {*metadata, IntegerAttribute(file.Id(), "complete").value_or(0) == 1};
  } catch (const H5Error& bad) {
    throw std::runtime_error("cannot be read as an HDF5 file: " + bad.Reason());
  }
}

H5Comparison CompareH5Files(const std::string& original, const std::string& copy) {
  try {
    const H5Handle a = OpenH5File(original), b = OpenH5File(copy);
    H5Comparison comparison;
    comparison.difference = Difference(a.Id(), b.Id(), comparison.added);
    return comparison;
  } catch (const H5Error& bad) {
    throw std::runtime_error(std::string("cannot be compared: ") + bad.what());
  }
}

}  // namespace ebsim
