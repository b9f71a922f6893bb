#include "zqt_components.h"

#include "zqt_antenna_dbs.h"
#include "zqt_datastorage.h"
#include "zqt_ephemerisstorage.h"
#include "zqt_file_obs.h"
#include "zqt_geo.h"
#include "zqt_ionostorage.h"
#include "zqt_receiver_dbs.h"
#include "zqt_rnx_reader.h"
#include "zqt_rtcm_reader.h"
#include "zqt_site.h"
#include "zqt_timestorage.h"
#include "zqt_tropomodel.h"

namespace zqt_components {

void InstallComponents() {
    // Object model: the SQL functions computed by its routines, and the loaders through
    // which its objects reach each other by ObjID.
    zqt_antenna_dbs::InstallAntHeight();  // AntHeight(H, R, O, mode)
    zqt_geo::InstallObsCount();           // ObsCount(svprn, ObsTypes)
    zqt_site::InstallSiteCreator();
    zqt_receiver_dbs::InstallFileReceiverLoader();
    zqt_file_obs::InstallObsFileLoader();

    // Navigation: the navigation store (project hook, checksum test of input files, the
    // object model's navigation-data factory) and its three storages.
    zqt_datastorage::InstallDataStorage();
    zqt_ephemerisstorage::InstallEphemerisStorage();
    zqt_ionostorage::InstallIonoStorage();
    zqt_timestorage::InstallTimeStorage();
    // The troposphere models of the recordsets' observation arithmetic (the stores make
    // theirs themselves).
    zqt_tropomodel::InstallTropoModels();

    // Codecs: the RTCM and RINEX file readers behind the observation-file import. The
    // RINEX writers are created by the conversion run itself.
    zqt_rtcm_reader::InstallRTCMReader();
    zqt_rnx_reader::InstallRinexReader();
}

}  // namespace zqt_components
