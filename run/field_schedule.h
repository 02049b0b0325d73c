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
#include <vector>

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

 private:
  long double h0_, hmin_;
  double fieldStep_;
};

}  // namespace ebsim
