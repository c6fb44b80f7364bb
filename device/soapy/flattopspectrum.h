// Power spectra of complex samples with a flat-top window: a tone at any
// frequency reads its level within a few hundredths of a dB, at the cost of a
// wide main lobe (equivalent noise bandwidth of about 3.77 bins). Powers are
// relative to full scale: a complex tone of amplitude 1 reads 1 (0 dBFS).
#pragma once

#include <complex>
#include <cstddef>
#include <vector>

struct fftwf_plan_s;

namespace torvelsoapy {

class CFlatTopSpectrum {
public:
    // size: FFT points, at least 16 (products of 2, 3 and 5 are fast).
    // removeMean: the mean of each capture is taken out, so a DC offset of
    // the receiver leaves no spike (and a tone at the tuned frequency none
    // either); a sweep keeps it and leaves the centre bin out instead.
    explicit CFlatTopSpectrum(int size, bool removeMean = true);
    ~CFlatTopSpectrum();
    CFlatTopSpectrum(const CFlatTopSpectrum&) = delete;
    CFlatTopSpectrum& operator=(const CFlatTopSpectrum&) = delete;

    // The equivalent noise bandwidth in bins of the window of a size.
    static double EnbwBinsOf(int size);

    int Size() const { return m_size; }
    // Equivalent noise bandwidth of the window in bins: the resolution
    // bandwidth is EnbwBins() x sample rate / Size().
    double EnbwBins() const { return m_enbwBins; }

    // Adds the power spectrum of Size() samples; bin 0 is the lowest
    // frequency (-rate/2), bin Size()/2 the tuned frequency.
    void Add(const std::complex<float>* samples);
    // The mean of the spectra added since the last Reset; empty when none.
    std::vector<float> Mean() const;
    void Reset();

private:
    int m_size;
    bool m_removeMean;
    double m_enbwBins = 0.0;
    std::vector<float> m_window; // scaled so that a full-scale tone reads 1
    std::complex<float>* m_buffer = nullptr;
    fftwf_plan_s* m_plan = nullptr;
    std::vector<double> m_sum;
    int m_count = 0;
};

// The power of a band in a spectrum of CFlatTopSpectrum at rateHz: the sum of
// the bins whose frequency (relative to the tuned one) lies in [lowHz, highHz),
// divided by the window's ENBW, so a tone and noise both read their power.
double BandPower(const std::vector<float>& spectrum, double rateHz, double enbwBins, double lowHz,
                 double highHz);

} // namespace torvelsoapy
