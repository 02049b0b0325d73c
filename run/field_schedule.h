#pragma once
// A Run's field history as data: legs one after another, each going through
// its field values one step at a time. A leg is made when the Run reaches
// it and computes each value when the field moves on to it, so that a
// schedule of any length holds no more than where it stands, and every
// fault of the field's arithmetic is raised where the Run meets it. A leg's
// values can still be had all at once (LegFields).
//
// The Run relaxes the spins at every step, and between the legs: a
// descending leg ends at a turning point, an ascending one ends its cycle.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "base/decimal_separator.h"

#include "engine/branch.h"

namespace ebsim {

class FieldLeg {
 public:
  FieldLeg(Branch branch, int cycle) : branch_(branch), cycle_(cycle) {}
  virtual ~FieldLeg() = default;

  // The leg's branch, and its cycle (from 1).
  Branch LegBranch() const { return branch_; }
  int Cycle() const { return cycle_; }

  // Where the field stands: at the next step's value while the leg holds
  // one, then where it last moved on to.
  virtual double Field() const = 0;
  // Whether a step is to be taken at Field().
  virtual bool AtStep() const = 0;
  // The branch the step at Field() relaxes on: the leg's, unless a leg
  // says otherwise step by step.
  virtual Branch StepBranch() const { return branch_; }
  // After the step at Field(): the field moves on to the next value,
  // returned.
  virtual double MoveOn() = 0;

 private:
  Branch branch_;
  int cycle_;
};

class FieldProtocol {
 public:
  virtual ~FieldProtocol() = default;
  // The field of the Run's initial local fields.
  virtual double StartField() const = 0;
  virtual int LegCount() const = 0;
  // Leg k (from 0) at its first value.
  virtual std::unique_ptr<FieldLeg> Leg(int k) const = 0;
};

// The field values of the steps of leg k.
std::vector<double> LegFields(const FieldProtocol& protocol, int k);
// How many steps the whole protocol takes.
std::int64_t StepCount(const FieldProtocol& protocol);

// The loop the window runs: from H0 down to Hmin and back up, the field
// moving by fieldStep, formed in extended precision and stored, at every
// step. Each leg goes on while Hmin - fieldStep <= H <= H0 + fieldStep (in
// extended precision); the descending leg starts at H0 and the ascending
// one at Hmin, both stored from the values read, and either may hold no
// step at all.
class HysteresisLoop final : public FieldProtocol {
 public:
  HysteresisLoop(long double h0, long double hmin, double fieldStep);

  double StartField() const override;
  int LegCount() const override { return 2; }
  std::unique_ptr<FieldLeg> Leg(int k) const override;

  double FieldStep() const { return fieldStep_; }
  // Leg k as leg k of the loop's cycle `cycle`.
  std::unique_ptr<FieldLeg> Leg(int k, int cycle) const;

 private:
  long double h0_, hmin_;
  double fieldStep_;
};

// The loop `cycles` times in a row: legs 2c and 2c + 1 are cycle c + 1's
// descending and ascending legs, each the loop's own.
class RepeatedLoop final : public FieldProtocol {
 public:
  RepeatedLoop(HysteresisLoop loop, int cycles);

  double StartField() const override { return loop_.StartField(); }
  int LegCount() const override { return 2 * cycles_; }
  std::unique_ptr<FieldLeg> Leg(int k) const override;

 private:
  HysteresisLoop loop_;
  int cycles_;
};

// Any field history: the values visited in order, one step at each. A
// value below the one before is a descending step, one above it an
// ascending step, one equal to it keeps the branch before; the first is
// descending. Each cycle is a descending leg then an ascending one, so a
// cycle ends where a descending step follows an ascending one; the last
// cycle's ascending leg may hold no step.
class FieldHistory final : public FieldProtocol {
 public:
  // values: at least one.
  explicit FieldHistory(std::vector<double> values);

  double StartField() const override { return values_.front(); }
  int LegCount() const override { return static_cast<int>(legEnds_.size()); }
  std::unique_ptr<FieldLeg> Leg(int k) const override;

  const std::vector<double>& Values() const { return values_; }

 private:
  std::vector<double> values_;
  // Where each leg ends in values_ (one past its last step).
  std::vector<std::size_t> legEnds_;
};

// A field text of a history read by the rules of the window's field texts
// and stored; throws the reader's error (EConvertError, EOverflow) for one
// that is not a field value.
double ReadHistoryField(const std::string& text, const DecimalSeparator& separator);

}  // namespace ebsim
