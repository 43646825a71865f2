#pragma once

#include "ir/IrConverterStrategy.h"

#include <vector>

namespace wav {

// Strategies that describe a response's time structure in 119 figures per channel.
// stereoProc 0 analyses the left channel only, 1 the right one only (the left of a mono
// input), 2 both; a channel analysed alone gives its figures to both outputs. Any other value
// counts as 0. Times are measured from the onset: the first sample whose magnitude reaches
// 2^-9. A response that never reaches it gives zeros and -120 dB levels.
class IrTimeStructureStrategy : public IrConverterStrategyBase {
public:
    static constexpr size_t kLength = 119;
    static constexpr double kFloorDb = -120.0;

    void process(int stereoProc) override;

protected:
    // Fills the 119 figures of one channel; false when cancelled.
    virtual bool analyse(const std::vector<double>& samples, std::vector<double>& figures, size_t stage) = 0;
    // Reports progress within the analysis stage of the channel being analysed.
    void step(size_t stage, double fraction) { advance(stage, fraction); }
};

// Delay pedals. Figures, in order:
//   0  delay time in milliseconds: the spacing of the repeats (the strongest periodicity of
//      the 1 ms energy envelope between 20 ms and 2 s, refined to the sample on the first
//      repeat's peak); 0 when there is none
//   1  feedback: the amplitude ratio of one repeat to the one before (least-squares over the
//      repeat levels below), 0 without repeats
//   2  number of repeats: consecutive repeats within 60 dB of the direct sound
//   3  onset in milliseconds from the start of the recording
//   4 + k, k = 0 ... 114: level of repeat k + 1 in dB relative to the direct sound (the energy
//      in a window around the sample where the repeat falls), -120 when below that or past the
//      end of the recording.
// An analog (bucket-brigade) delay smears each repeat: its energy window is 10 ms wide on each
// side instead of 2 ms (never more than half the delay time).
class IrConverterDelayStrategy : public IrTimeStructureStrategy {
public:
    explicit IrConverterDelayStrategy(bool analog) : analog_(analog) {}

protected:
    bool analyse(const std::vector<double>& samples, std::vector<double>& figures, size_t stage) override;

private:
    bool analog_;
};

// Reverbs. Figures, in order:
//   0  RT60 in seconds, from the slope of the energy decay curve (Schroeder's backward
//      integral) between -5 and -35 dB (or -25 dB, or -15 dB when the recording does not
//      decay that far); 0 when it decays less than 15 dB
//   1  early decay time in seconds: the slope between 0 and -10 dB, scaled to 60 dB
//   2  onset in milliseconds from the start of the recording
//   3  the decay range the RT60 was fitted to, in dB (30, 20, 10, or 0)
//   4 + k, k = 0 ... 114: the energy decay curve in dB at k x 20 ms after the onset
//      (0 ... 2.28 s), -120 below that or past the end of the recording.
class IrConverterReverbStrategy : public IrTimeStructureStrategy {
protected:
    bool analyse(const std::vector<double>& samples, std::vector<double>& figures, size_t stage) override;
};

}  // namespace wav
