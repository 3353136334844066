#pragma once
// The forecast on view drawn as a picture: the contoured field with its labels, wind (or
// current) arrows in the Beaufort colours, a labelled latitude/longitude graticule, a title with
// the field, its units and the date, and the Beaufort legend. Needs a QGuiApplication for fonts.

#include <QImage>
#include <QString>

class GribModel;

QImage renderForecast(GribModel& model, QSize size, const QString& source);
