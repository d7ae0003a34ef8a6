// ogsend: sends OutGauge datagrams over UDP, to try a configuration without the simulator.
#include "tools/ogsend/ogsend.h"

int main(int argc, char **argv)
{
    SendOptions opt;
    std::string message;
    switch (sendParseArgs(argc, argv, &opt, &message)) {
    case SEND_PARSE_GO:
        break;
    case SEND_PARSE_HELP:
        sendPrintUsage();
        return 0;
    case SEND_PARSE_LIST:
        sendListScenarios();
        return 0;
    case SEND_PARSE_ERROR:
        sendUsageError(message);
        return 2;
    }
    std::vector<SendStep> steps;
    sendPlan(opt, &steps);
    return sendRun(opt, steps);
}
