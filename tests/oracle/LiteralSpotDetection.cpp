#include "oracle/LiteralSpotDetection.h"

#include <cstdint>
#include <cstdio>

#include "state/ProgramState.h"
#include "state/TraceLog.h"

namespace zmr::oracle {
namespace {

// A free pixel (label 255) of the image darker than the threshold.
bool Valid(long M, long N, const int* Table, const int* Signal, long i, long j, int Threshold) {
  return i >= 0 && i < M && j >= 0 && j < N && Table[j * M + i] == 255 &&
         Signal[j * M + i] < Threshold;
}

// One of the four edge neighbours inside the image carries the label.
bool TestNeighbours(long M, long N, const int* Table, long i, long j, int Mark) {
  return (i + 1 < M && Table[j * M + i + 1] == Mark) || (i > 0 && Table[j * M + i - 1] == Mark) ||
         (j + 1 < N && Table[(j + 1) * M + i] == Mark) || (j > 0 && Table[(j - 1) * M + i] == Mark);
}

}  // namespace

long DijkstraLiteral(long M, long N, int* Table, const int* Signal, double* CenterX,
                     double* CenterY, int Threshold, int Mark) {
  const long i0 = static_cast<long>(*CenterX);
  const long j0 = static_cast<long>(*CenterY);
  if (!Valid(M, N, Table, Signal, i0, j0, Threshold)) return 0;

  long Area = 1;
  const int w0 = Signal[j0 * M + i0] + 1;
  double SumX = w0 * *CenterX;
  double SumY = w0 * *CenterY;
  double SignalSum = w0;
  Table[j0 * M + i0] = Mark;

  long AreaOld = 0;
  while (Area > AreaOld && State().fTerminated.load() == 0) {
    AreaOld = Area;
    for (long j = 0; j < N; ++j) {
      for (long i = 0; i < M; ++i) {
        if (TestNeighbours(M, N, Table, i, j, Mark) &&
            Valid(M, N, Table, Signal, i, j, Threshold)) {
          Table[j * M + i] = Mark;
          Area += 1;
          const int w = Signal[j * M + i] + 1;
          SumX += static_cast<double>(i * w);
          SumY += static_cast<double>(j * w);
          SignalSum += w;
        }
      }
    }
  }
  if (SignalSum != 0.0) {
    *CenterX = SumX / SignalSum;
    *CenterY = SumY / SignalSum;
  }
  return Area;
}

int FindCentersLiteral(ProgramState& /*s*/, long M, long N, int* Table, const int* Signal,
                       int Threshold, long MinArea, double* PointsX, double* PointsY) {
  ProgramState& s = State();
  std::printf("Searching for black areas \n");
  int count = 0;
  int Mark = 0;
  double ScmX = 0.0;
  double ScmY = 0.0;
  double ScmA = 0.0;
  for (long j = 0; j < N; ++j) {
    if (s.fTerminated.load() != 0) break;
    for (long i = 0; i < M; ++i) {
      if (s.fTerminated.load() != 0) break;
      s.iProgressStatus = static_cast<int>((100 * (static_cast<std::int64_t>(j) * M + i)) /
                                           (static_cast<std::int64_t>(M) * N));
      double CenterX = i;
      double CenterY = j;
      const long PatchSize =
          DijkstraLiteral(M, N, Table, Signal, &CenterX, &CenterY, Threshold, Mark);
      if (PatchSize > MinArea) {
        if (count < s.MAXPoints) {
          PointsX[count] = CenterX;
          PointsY[count] = CenterY;
          Mark += 1;
          if (Mark == 255) Mark = 0;
          count += 1;
          s.iDetectedAreas = count;
          if (s.OUT_LOG != nullptr) {
            if (s.DebugSwitch != 0) {
              TraceLog(State(), "%i[%i] = %li %f %f\n", count, Mark, PatchSize, CenterX, CenterY);
            } else {
              TraceLog(State(), "%3i [%6li] (%5.2f %5.2f) \n", count, PatchSize, CenterX, CenterY);
            }
          }
        }
        if (Mark > 1) {
          ScmX += PatchSize * CenterX;
          ScmY += PatchSize * CenterY;
          ScmA += PatchSize;
        }
      }
    }
  }
  if (ScmA != 0.0) {
    PointsX[0] = ScmX / ScmA;
    PointsY[0] = ScmY / ScmA;
  } else {
    PointsX[0] = M / 2.0;
    PointsY[0] = N / 2.0;
  }
  return count;
}

}  // namespace zmr::oracle
