#pragma once
// Asking an e-mail GRIB service for a forecast of an area: the request's text, the "mailto:"
// address that carries it, and the hand-over to the desktop's mail program. The service's
// address is the user's to give; there is none until then.

#include "nav/NavMath.h"

#include <functional>
#include <optional>
#include <string>

class GribRequest {
public:
    // What a request asks for: hours between forecast times, days, grid spacing in degrees.
    unsigned interval() const { return interval_; }
    void setInterval(unsigned hours) { interval_ = hours; }
    unsigned days() const { return days_; }
    void setDays(unsigned days) { days_ = days; }
    float resolution() const { return resolution_; }
    void setResolution(float degrees) { resolution_ = degrees; }
    // The request carries the spacing with one decimal: 0.25 would silently become 0.2.
    static bool resolutionFits(double degrees);

    // The text for an area between two corners; none when a corner is missing or not a position
    // on earth.
    std::optional<std::string> requestText(NavPoint corner1, NavPoint corner2, const std::string& model,
                                           const std::string& parameters) const;
    // The "mailto:" address that carries a request text to the service.
    std::string requestMailto(const std::string& text) const;
    const std::string& requestAddress() const { return requestAddress_; }
    void setRequestAddress(const std::string& address) { requestAddress_ = address; }
    // Something that reads as one mail address ("name@host"), without spaces or separators.
    static bool isMailAddress(const std::string& address);

    // Hands a "mailto:" address to the desktop; installed by the program's interface layer.
    using Mailer = std::function<bool(const std::string& mailto)>;
    void setMailer(Mailer mailer) { mailer_ = std::move(mailer); }
    // Sends the request; false when there is no address, no mailer, or the desktop took no mail.
    bool requestGrib(NavPoint corner1, NavPoint corner2, const std::string& model,
                     const std::string& parameters) const;

private:
    unsigned interval_ = 12;
    unsigned days_ = 3;
    float resolution_ = 0.5f;
    std::string requestAddress_;
    Mailer mailer_;
};
