#include "application.h"
#include "textrecognition.h"

int main(int argc, char* argv[])
{
    TextRecognition::limitEngineThreads();
    return runApplication(argc, argv);
}
