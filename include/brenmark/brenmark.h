// Brenmark: the whole public interface of the painting engine.
#pragma once
