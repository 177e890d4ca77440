#pragma once

#include <hamlib/rig.h>
#include <string>

#include "tools/station/ptt_line.hh"

// PTT through Hamlib: any rig it knows by model number, model 2 being a
// running rigctld at host:port. A rig that stops answering is closed and
// opened again by the next call.
class HamlibLine final : public PttLine
{
public:
	HamlibLine(int model, std::string port) : model(model), port(std::move(port)) { rig_set_debug(RIG_DEBUG_NONE); }
	~HamlibLine() override
	{
		if (rig) set(false);
		shut();
	}

	std::string set(bool keyed) override
	{
		if (!rig) {
			if (std::string why = start(); !why.empty()) return why;
		}
		int err = rig_set_ptt(rig, RIG_VFO_CURR, keyed ? RIG_PTT_ON : RIG_PTT_OFF);
		if (err == RIG_OK) return "";
		shut();
		return name() + ": " + rigerror2(err);
	}

	std::string name() const override { return "rig model " + std::to_string(model) + " at " + port; }

private:
	int model;
	std::string port;
	RIG *rig = nullptr;

	std::string start()
	{
		rig = rig_init(model);
		if (!rig) return "Hamlib knows no rig model " + std::to_string(model);
		if (!port.empty()) rig_set_conf(rig, rig_token_lookup(rig, "rig_pathname"), port.c_str());
		int err = rig_open(rig);
		if (err == RIG_OK) return "";
		rig_cleanup(rig);
		rig = nullptr;
		return name() + ": " + rigerror2(err);
	}

	void shut()
	{
		if (!rig) return;
		rig_close(rig);
		rig_cleanup(rig);
		rig = nullptr;
	}
};
