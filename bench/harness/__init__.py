"""Measurements of this receiver and its peers through the channel simulator."""
