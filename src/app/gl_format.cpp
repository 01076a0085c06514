#include "app/gl_format.h"

#include <QCoreApplication>
#include <QSurfaceFormat>

namespace tolvani {

void SetDefaultOpenGlFormat() {
  QSurfaceFormat format;
  format.setRenderableType(QSurfaceFormat::OpenGL);
  format.setVersion(3, 3);
  format.setProfile(QSurfaceFormat::CoreProfile);
  format.setDepthBufferSize(24);
  format.setAlphaBufferSize(8);
  QSurfaceFormat::setDefaultFormat(format);
  QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
}

}  // namespace tolvani
