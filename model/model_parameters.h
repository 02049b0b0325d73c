#pragma once
// The parameters of the three runs as numbers. A run asks for each where it
// first needs it and may ask again; what a value that cannot be had throws,
// and when, is the source's (the form's texts, read by the window's rules).

#include <cstdint>

namespace ebsim {

class ModelParameters {
 public:
  virtual ~ModelParameters() = default;
  // The lattice side, 1 to largestSide.
  virtual std::int32_t Side(std::int32_t largestSide) const = 0;
  // The fraction of sites given the enhancement constant.
  virtual long double Dilution() const = 0;
  // The exchange constant of the enhanced sites.
  virtual long double Enhancement() const = 0;
  // The standard deviation of the random field.
  virtual long double FieldSd() const = 0;
  // The applied field at the start and the end of the loop.
  virtual long double H0() const = 0;
  // The applied field at the turning point.
  virtual long double Hmin() const = 0;
  // The field steps over the whole loop, 1 or more.
  virtual std::int32_t Steps() const = 0;
};

}  // namespace ebsim
