#include "flattopspectrum.h"

#include <fftw3.h>

#include <algorithm>
#include <cmath>
#include <mutex>
#include <numbers>

namespace torvelsoapy {
namespace {

// Coefficients of the five-term flat-top window (amplitude error under
// 0.01 dB anywhere between two bins).
constexpr double kFlatTop[] = {0.21557895, 0.41663158, 0.277263158, 0.083578947, 0.006947368};

// FFTW's planner is not thread-safe; plans are made on the task thread and
// the GUI thread alike.
std::mutex& PlannerLock() {
    static std::mutex lock;
    return lock;
}

double FlatTop(int i, int size) {
    double w = 0.0;
    for (int k = 0; k < 5; ++k)
        w += (k % 2 ? -1.0 : 1.0) * kFlatTop[k] * std::cos(2.0 * std::numbers::pi * k * i / size);
    return w;
}

} // namespace

double CFlatTopSpectrum::EnbwBinsOf(int size) {
    double sum = 0.0, sumSquares = 0.0;
    for (int i = 0; i < size; ++i) {
        const double w = FlatTop(i, size);
        sum += w;
        sumSquares += w * w;
    }
    return size * sumSquares / (sum * sum);
}

CFlatTopSpectrum::CFlatTopSpectrum(int size, bool removeMean)
    : m_size(size), m_removeMean(removeMean), m_enbwBins(EnbwBinsOf(size)), m_window(size),
      m_sum(size) {
    double sum = 0.0;
    for (int i = 0; i < size; ++i)
        sum += FlatTop(i, size);
    for (int i = 0; i < size; ++i)
        m_window[i] = static_cast<float>(FlatTop(i, size) / sum);
    std::lock_guard<std::mutex> lock(PlannerLock());
    m_buffer = reinterpret_cast<std::complex<float>*>(fftwf_alloc_complex(size));
    auto* b = reinterpret_cast<fftwf_complex*>(m_buffer);
    m_plan = fftwf_plan_dft_1d(size, b, b, FFTW_FORWARD, FFTW_ESTIMATE);
}

CFlatTopSpectrum::~CFlatTopSpectrum() {
    std::lock_guard<std::mutex> lock(PlannerLock());
    fftwf_destroy_plan(m_plan);
    fftwf_free(m_buffer);
}

void CFlatTopSpectrum::Add(const std::complex<float>* samples) {
    std::complex<double> mean = 0.0;
    if (m_removeMean)
        for (int i = 0; i < m_size; ++i)
            mean += std::complex<double>(samples[i]);
    const std::complex<float> dc(mean / static_cast<double>(m_size));
    for (int i = 0; i < m_size; ++i)
        m_buffer[i] = (samples[i] - dc) * m_window[i];
    fftwf_execute(m_plan);
    // FFT bin k holds frequency k (k < size/2) or k - size: shifted so that
    // the output runs from -rate/2 upwards.
    const int half = m_size / 2;
    for (int i = 0; i < m_size; ++i)
        m_sum[i] += std::norm(m_buffer[(i + half) % m_size]);
    ++m_count;
}

std::vector<float> CFlatTopSpectrum::Mean() const {
    std::vector<float> mean;
    if (m_count == 0)
        return mean;
    mean.resize(m_size);
    for (int i = 0; i < m_size; ++i)
        mean[i] = static_cast<float>(m_sum[i] / m_count);
    return mean;
}

void CFlatTopSpectrum::Reset() {
    std::fill(m_sum.begin(), m_sum.end(), 0.0);
    m_count = 0;
}

double BandPower(const std::vector<float>& spectrum, double rateHz, double enbwBins, double lowHz,
                 double highHz) {
    const int size = static_cast<int>(spectrum.size());
    if (size == 0)
        return 0.0;
    const double binHz = rateHz / size;
    const int first = std::max(0, static_cast<int>(std::ceil(lowHz / binHz)) + size / 2);
    const int last = std::min(size - 1, static_cast<int>(std::ceil(highHz / binHz)) + size / 2 - 1);
    double sum = 0.0;
    for (int b = first; b <= last; ++b)
        sum += spectrum[b];
    return sum / enbwBins;
}

} // namespace torvelsoapy
